#include "ui/framework/View.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "ui/framework/CommandIds.h"
#include "ui/framework/ChildWindow.h"
#include "ui/framework/PostedNotifyTarget.h"
#include "ui/framework/PrinterSetup.h"

View::View(QWidget* parent) : QWidget(parent) {}

View::~View() {
    if (m_notifyTarget) m_notifyTarget->detach();
    if (m_document) m_document->removeView(this);
}

ChildWindow* View::childWindow() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<ChildWindow*>(w)) return frame;
    }
    return nullptr;
}

void View::onInitialUpdate() { onDocumentChanged(nullptr); }

void View::onDocumentChanged(View*) { update(); }

std::shared_ptr<NotifyTarget> View::notifyTarget() {
    if (!m_notifyTarget) m_notifyTarget = std::make_shared<PostedNotifyTarget>(this);
    return m_notifyTarget;
}

void View::onNotify(unsigned) {}

void View::customEvent(QEvent* event) {
    if (event->type() == NotifyEvent::type()) {
        onNotify(static_cast<NotifyEvent*>(event)->message());
        return;
    }
    QWidget::customEvent(event);
}

void View::onBeginPrinting(QPrinter& printer) {
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(1, 1);
}

void View::onPrint(QPainter&, const QRect&) {}

void View::printOn(QPrinter& printer) {
    onBeginPrinting(printer);
    QPainter painter;
    if (!painter.begin(&printer)) return;  // no printer or the job was refused: nothing more
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    onPrint(painter, QRect(0, 0, page.width(), page.height()));
    painter.end();
}

void View::enablePrinting() {
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
            onBeginPrinting(*printer);
            QPainter painter(printer);
            const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
            onPrint(painter, QRect(0, 0, page.width(), page.height()));
        });
        preview.exec();
    });
}
