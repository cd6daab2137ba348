#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "core/acquisition/Recorder.h"
#include "core/base/Clock.h"
#include "core/base/FilePath.h"
#include "core/store/DataFile.h"
#include "core/store/SampleRing.h"

// Gives a recorder energy tables the way the program gets them before the first poll: from
// dast.data in its working directory, read when the recording opens.
inline void loadTables(Recorder& recorder, const DayTable& days, const MonthTable& months) {
    auto store = std::make_unique<SampleStore>();
    resetStore(*store, recorder.clock().now());
    ASSERT_TRUE(DataFile::save(pathInDirectory(recorder.workingDirectory(), "dast.data"), days,
                               months, *store));
    recorder.openRecording();
}
