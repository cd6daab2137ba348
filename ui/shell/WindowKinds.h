#pragma once

#include <functional>
#include <string>

class QObject;
class Recorder;
class WindowKind;

// The window kinds, each a document class, a child window class and a first view class,
// wired to the recorder their windows observe. Made once at start-up, in the order history
// by days, history by months, real time, archive; `parent` owns them.
WindowKind* makeHistoryByDaysKind(Recorder& recorder, QObject* parent);
WindowKind* makeHistoryByMonthsKind(Recorder& recorder, QObject* parent);
// opened: what the shell does each time a real-time document has opened the recording (it
// connects; may be empty).
WindowKind* makeRealTimeKind(Recorder& recorder, std::function<void()> opened, QObject* parent);
// The archive window: one document at a time, opened on demand. archivePath: the archive
// file as the settings name it now.
WindowKind* makeArchiveKind(Recorder& recorder, std::function<std::string()> archivePath,
                            QObject* parent);
