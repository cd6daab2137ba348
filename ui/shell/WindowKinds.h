#pragma once

#include <functional>
#include <string>

class QObject;
class SamplingCycle;
class WindowKind;
struct MonitorState;

// The three window kinds, each a document class, a child window class and a first view
// class, wired to what their windows use. Made once at start-up, in the order history by
// days, history by months, real time; `parent` owns them.
WindowKind* makeHistoryByDaysKind(MonitorState& state, QObject* parent);
WindowKind* makeHistoryByMonthsKind(MonitorState& state, QObject* parent);
// cycle: what records into the kind's documents (null: nothing records, Connect does
// nothing). updateAllWindows: what the live list calls after every successful poll, so every
// open window shows the new tables (may be empty).
WindowKind* makeRealTimeKind(MonitorState& state, SamplingCycle* cycle,
                             std::function<void()> updateAllWindows, QObject* parent);
// The archive window: one document at a time, opened on demand. archivePath: the archive
// file as the settings name it now.
WindowKind* makeArchiveKind(MonitorState& state, std::function<std::string()> archivePath,
                            QObject* parent);
