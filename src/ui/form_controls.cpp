#include "ui/form_controls.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QtMath>

namespace brevan {

int Twips(int twips) { return qRound(twips / 15.0); }

QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

CommandButton::CommandButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    // Outside a dialog a push button ignores Enter unless it is auto-default.
    setAutoDefault(true);
}

void CommandButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (option.state & (QStyle::State_On | QStyle::State_Sunken)) {
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    painter.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, option.palette, isEnabled(),
                         caption, QPalette::ButtonText);
}

QLabel* PlaceLabel(QWidget* form, const char* name, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, form);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry);
    return label;
}

CommandButton* PlaceButton(QWidget* form, const char* name, const QString& text, const QRect& geometry) {
    auto* button = new CommandButton(text, form);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    return button;
}

QLineEdit* PlaceTextBox(QWidget* form, const char* name, const QRect& geometry) {
    auto* box = new QLineEdit(form);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

void FitFontToLabels(QWidget* form) {
    const QList<QLabel*> labels = form->findChildren<QLabel*>();
    const auto fits = [&labels](const QFont& font) {
        const QFontMetrics metrics(font);
        for (const QLabel* label : labels) {
            if (metrics.horizontalAdvance(label->text()) > label->contentsRect().width()) return false;
        }
        return true;
    };
    QFont font = form->font();
    const qreal floor = font.pointSizeF() * 2.0 / 3.0;
    while (!fits(font) && font.pointSizeF() - 0.5 >= floor) font.setPointSizeF(font.pointSizeF() - 0.5);
    form->setFont(font);
}

}  // namespace brevan
