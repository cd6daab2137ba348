#include "ui/shell/RecorderSignals.h"
