#include "ui/framework/PrinterSetupDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// Offered when the print system reports no sizes for a printer.
QList<QPageSize> commonPaperSizes() {
    QList<QPageSize> sizes;
    for (QPageSize::PageSizeId id :
         {QPageSize::A4, QPageSize::Letter, QPageSize::Legal, QPageSize::A3, QPageSize::A5,
          QPageSize::B5, QPageSize::Executive})
        sizes.append(QPageSize(id));
    return sizes;
}

}  // namespace

PrinterSetupDialog::PrinterSetupDialog(const QStringList& printers, const PrinterChoice& current,
                                       QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Print Setup"));

    m_printers = new QComboBox;
    m_printers->addItems(printers);
    m_printers->setCurrentIndex(std::max<int>(0, printers.indexOf(current.printer)));
    m_printers->setMinimumContentsLength(24);
    auto* printerGroup = new QGroupBox(QStringLiteral("Printer"));
    auto* printerForm = new QFormLayout(printerGroup);
    printerForm->addRow(QStringLiteral("Name:"), m_printers);

    m_paper = new QComboBox;
    auto* paperGroup = new QGroupBox(QStringLiteral("Paper"));
    auto* paperForm = new QFormLayout(paperGroup);
    paperForm->addRow(QStringLiteral("Size:"), m_paper);
    fillPaperSizes(current.paper);
    connect(m_printers, &QComboBox::currentIndexChanged, this,
            [this] { fillPaperSizes(m_paper->currentData().value<QPageSize>()); });

    m_portrait = new QRadioButton(QStringLiteral("Portrait"));
    m_landscape = new QRadioButton(QStringLiteral("Landscape"));
    (current.orientation == QPageLayout::Landscape ? m_landscape : m_portrait)->setChecked(true);
    auto* orientationGroup = new QGroupBox(QStringLiteral("Orientation"));
    auto* orientation = new QVBoxLayout(orientationGroup);
    orientation->addWidget(m_portrait);
    orientation->addWidget(m_landscape);

    auto* paperRow = new QHBoxLayout;
    paperRow->addWidget(paperGroup, 1);
    paperRow->addWidget(orientationGroup);

    // OK left of Cancel whatever the desktop's button order.
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(printerGroup);
    outer->addLayout(paperRow);
    outer->addLayout(buttons);
}

void PrinterSetupDialog::fillPaperSizes(const QPageSize& keep) {
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_printers->currentText());
    QList<QPageSize> sizes = info.supportedPageSizes();
    if (sizes.isEmpty()) sizes = commonPaperSizes();
    QPageSize wanted = keep;
    if (!wanted.isValid()) wanted = info.defaultPageSize();

    const QSignalBlocker quiet(m_paper);
    m_paper->clear();
    int shown = 0;
    for (const QPageSize& size : sizes) {
        if (wanted.isValid() && size.isEquivalentTo(wanted)) shown = m_paper->count();
        m_paper->addItem(size.name(), QVariant::fromValue(size));
    }
    m_paper->setCurrentIndex(shown);
}

PrinterChoice PrinterSetupDialog::choice() const {
    PrinterChoice chosen;
    chosen.printer = m_printers->currentText();
    chosen.paper = m_paper->currentData().value<QPageSize>();
    chosen.orientation = m_landscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait;
    return chosen;
}
