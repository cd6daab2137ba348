#pragma once

#include <QDialog>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <QStringList>

class QComboBox;
class QRadioButton;

// What "Print Setting" chooses for every later print job and preview.
struct PrinterChoice {
    QString printer;  // as the print system names it
    QPageSize paper;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
};

// The printer set-up dialog: a printer from the print system's list, a paper size it takes
// and the orientation, with OK left of Cancel. It starts from `current`; a printer not in
// the list starts on the first one.
class PrinterSetupDialog : public QDialog {
    Q_OBJECT
public:
    PrinterSetupDialog(const QStringList& printers, const PrinterChoice& current,
                       QWidget* parent = nullptr);

    // What the dialog shows now; the caller applies it only when the dialog ends with OK.
    PrinterChoice choice() const;

    QComboBox* printerBox() const { return m_printers; }
    QComboBox* paperBox() const { return m_paper; }
    QRadioButton* landscapeButton() const { return m_landscape; }

private:
    // The sizes the chosen printer takes, the one shown before kept when it is among them.
    void fillPaperSizes(const QPageSize& keep);

    QComboBox* m_printers = nullptr;
    QComboBox* m_paper = nullptr;
    QRadioButton* m_portrait = nullptr;
    QRadioButton* m_landscape = nullptr;
};
