#include "ui/programstyle.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <algorithm>

namespace kb {

namespace {

class ProgramStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (!widget || !(option->state & State_HasFocus)) return;
        if (element == CE_ShapedFrame && qobject_cast<const QAbstractScrollArea*>(widget)) {
            // Two pixels where the frame has them: one is easily missed.
            const int width = std::clamp(pixelMetric(PM_DefaultFrameWidth, option, widget), 1, 2);
            ring(painter, option, QRectF(option->rect), width);
        } else if (element == CE_PushButton && (option->state & State_KeyboardFocusChange)) {
            ring(painter, option, QRectF(option->rect).adjusted(3, 3, -3, -3), 1);
        }
    }

    void polish(QWidget* widget) override {
        QProxyStyle::polish(widget);
        if (qobject_cast<QAbstractScrollArea*>(widget)) widget->installEventFilter(this);
    }
    void unpolish(QWidget* widget) override {
        if (qobject_cast<QAbstractScrollArea*>(widget)) widget->removeEventFilter(this);
        QProxyStyle::unpolish(widget);
    }
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A view's frame is drawn on the view itself, which a change of focus
        // does not repaint (only its viewport).
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            static_cast<QWidget*>(watched)->update();
        return QProxyStyle::eventFilter(watched, event);
    }

private:
    static void ring(QPainter* painter, const QStyleOption* option, QRectF rect, int width) {
        painter->save();
        QPen pen(option->palette.color(QPalette::Highlight), width);
        pen.setJoinStyle(Qt::MiterJoin);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        const qreal inset = width / 2.0;
        painter->drawRect(rect.adjusted(inset, inset, -inset, -inset));
        painter->restore();
    }
};

}  // namespace

void UseProgramStyle() {
    // A proxy owns its base, so it gets a style of its own made like the
    // application's.
    QApplication::setStyle(new ProgramStyle(QStyleFactory::create(QApplication::style()->name())));
}

}  // namespace kb
