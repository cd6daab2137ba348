#pragma once

#include "ui/framework/View.h"

class QLabel;
class QTableWidget;

// The archive window's table: every channel's energy that day in kWh, worked out from the
// recorded samples, under a line that says when the day has no samples or cannot be read.
class ArchiveEnergyView : public View {
    Q_OBJECT
public:
    explicit ArchiveEnergyView(QWidget* parent = nullptr);

    void onDocumentChanged(View* sender) override;
    QTableWidget* table() const { return m_table; }
    QLabel* note() const { return m_note; }

private:
    QLabel* m_note;
    QTableWidget* m_table;
};
