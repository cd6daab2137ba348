#include "ui/framework/CView.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "app/CommandIds.h"
#include "ui/framework/CChildFrame.h"
#include "ui/framework/PostedNotifyTarget.h"
#include "ui/framework/PrinterSetup.h"

CView::CView(QWidget* parent) : QWidget(parent) {}

CView::~CView() {
    if (m_notifyTarget) m_notifyTarget->detach();
    if (m_document) m_document->RemoveView(this);
}

CChildFrame* CView::GetParentFrame() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<CChildFrame*>(w)) return frame;
    }
    return nullptr;
}

void CView::OnInitialUpdate() { OnUpdate(nullptr); }

void CView::OnUpdate(CView*) { update(); }

std::shared_ptr<NotifyTarget> CView::notifyTarget() {
    if (!m_notifyTarget) m_notifyTarget = std::make_shared<PostedNotifyTarget>(this);
    return m_notifyTarget;
}

void CView::OnNotify(unsigned) {}

void CView::customEvent(QEvent* event) {
    if (event->type() == NotifyEvent::type()) {
        OnNotify(static_cast<NotifyEvent*>(event)->message());
        return;
    }
    QWidget::customEvent(event);
}

void CView::OnBeginPrinting(QPrinter& printer) {
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(1, 1);
}

void CView::OnPrint(QPainter&, const QRect&) {}

void CView::printOn(QPrinter& printer) {
    OnBeginPrinting(printer);
    QPainter painter;
    if (!painter.begin(&printer)) return;  // no printer or the job was refused: nothing more
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    OnPrint(painter, QRect(0, 0, page.width(), page.height()));
    painter.end();
}

void CView::enablePrinting() {
    onCommand(ID_FILE_PRINT, [this] {
        QPrinter& printer = applicationPrinter();
        QPrintDialog dialog(&printer, this);
        dialog.setMinMax(1, 1);
        if (dialog.exec() == QDialog::Accepted) printOn(printer);
    });
    onCommand(ID_FILE_PRINT_DIRECT, [this] { printOn(applicationPrinter()); });
    onCommand(ID_FILE_PRINT_PREVIEW, [this] {
        QPrintPreviewDialog preview(&applicationPrinter(), this);
        connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) {
            OnBeginPrinting(*printer);
            QPainter painter(printer);
            const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
            OnPrint(painter, QRect(0, 0, page.width(), page.height()));
        });
        preview.exec();
    });
}
