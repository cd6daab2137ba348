#pragma once

#include "ui/framework/CDocument.h"

// The document of both history windows. It holds nothing: the history views read the
// application's day and month tables.
class CVornDoc1 : public CDocument {
    Q_OBJECT
};
