#pragma once

#include "ui/framework/Document.h"

// The document of both history windows. It holds nothing: the history views read the
// application's day and month tables.
class HistoryDocument : public Document {
    Q_OBJECT
};
