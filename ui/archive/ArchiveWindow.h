#pragma once

#include <functional>
#include <optional>

#include "ui/archive/ArchiveRangeExport.h"
#include "ui/framework/ChildWindow.h"

class ArchiveDocument;
class QDateEdit;
class QSplitter;
class QTreeWidget;

// The archive window: a date navigator (previous day, calendar, next day) and the range
// export on top; the channel tree left; the day's chart above the energy table right.
class ArchiveWindow : public ChildWindow {
    Q_OBJECT
public:
    // Asks what range to export and where; tests answer it themselves.
    using RangePrompt =
        std::function<std::optional<RangeChoice>(QWidget* parent, const QDate& day)>;

    ArchiveWindow();

    bool createPanes(Document* document, WindowKind& windowKind) override;
    void refreshChannelNames() override;

    void showDay(const QDate& date);
    void stepDay(int days);
    void onExportRange();

    void setRangePrompt(RangePrompt prompt) { m_rangePrompt = std::move(prompt); }
    QDateEdit* dateEdit() const { return m_date; }
    QTreeWidget* channelTree() const { return m_tree; }

private:
    ArchiveDocument* archiveDocument() const;
    QWidget* buildNavigator();

    QDateEdit* m_date = nullptr;
    QTreeWidget* m_tree = nullptr;
    RangePrompt m_rangePrompt;
};
