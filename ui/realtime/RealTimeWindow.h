#pragma once

#include <QString>
#include <functional>

#include "ui/framework/ChildWindow.h"

class LiveListView;
class PowerChartView;
class QDockWidget;
class QSplitter;
class QTreeWidget;
class RealTimeDocument;
class Recorder;

// The real-time window: the channel tree docked left, and the chart (280 pixels high)
// above the live list. Handles the X-axis scope, the data export and its settings, and
// shows Connect / Disconnect enabled according to the link.
class RealTimeWindow : public ChildWindow {
    Q_OBJECT
public:
    // Asks where to export: the proposed file name in, the chosen full path out, empty when
    // the user cancelled.
    using SavePathPrompt = std::function<QString(QWidget* parent, const QString& proposedName)>;
    // Runs the export settings dialog; true when it was confirmed and the interval stored.
    using ExportConfigRunner = std::function<bool(Recorder& recorder, QWidget* parent)>;

    static constexpr int kChartHeight = 280;  // pixels, the upper pane

    RealTimeWindow();
    ~RealTimeWindow() override;

    bool createPanes(Document* document, WindowKind& windowKind) override;
    void refreshChannelNames() override;

    void onChannelSelected(int itemData);
    void onScope(int scopeIndex);
    void onExportData();
    void onExportConfig();

    // "History_power" and the local time, e.g. History_power2024-05-01 13-45-10.
    static QString proposedExportName(int64_t now);

    void setSavePathPrompt(SavePathPrompt prompt) { m_savePathPrompt = std::move(prompt); }

    QTreeWidget* channelTree() const { return m_tree; }
    QDockWidget* channelBar() const { return m_bar; }
    QSplitter* splitter() const { return m_splitter; }
    PowerChartView* chartView() const { return m_chart; }
    LiveListView* listView() const { return m_list; }

private:
    RealTimeDocument* realTimeDocument() const;
    Recorder* recorder() const;
    void fillChannelTree();

    // Children of this window's widget tree: they live exactly as long as the window.
    QTreeWidget* m_tree = nullptr;
    QDockWidget* m_bar = nullptr;
    QSplitter* m_splitter = nullptr;
    PowerChartView* m_chart = nullptr;
    LiveListView* m_list = nullptr;
    SavePathPrompt m_savePathPrompt;
    ExportConfigRunner m_exportConfig;
};
