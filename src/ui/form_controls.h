#pragma once
// Places the windows' controls at fixed positions given in twips, the way the
// forms were drawn: 15 twips make one pixel at 96 dots per inch (Qt's logical
// pixels take care of other screens). Nothing follows the window's size.
#include <QPushButton>
#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace brevan {

// Twips to logical pixels, rounded to the nearest pixel.
int Twips(int twips);
// A control's place and size, given in twips, in pixels.
QRect TwipsRect(int left, int top, int width, int height);

// A push button whose caption wraps onto further lines when it is wider than
// the button, as the forms' buttons do. Enter pressed on it clicks it.
class CommandButton : public QPushButton {
    Q_OBJECT
public:
    CommandButton(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Each creates the control as a child of `form` with `name` as its object
// name, at `geometry` in pixels (see TwipsRect).
QLabel* PlaceLabel(QWidget* form, const char* name, const QString& text, const QRect& geometry);
CommandButton* PlaceButton(QWidget* form, const char* name, const QString& text, const QRect& geometry);
QLineEdit* PlaceTextBox(QWidget* form, const char* name, const QRect& geometry);

// The boxes were sized for a smaller font than most desktops use. Lowers the
// form's font in half points, down to two thirds of its size at most, until
// every label's text fits its width, so that no caption is cut off.
void FitFontToLabels(QWidget* form);

}  // namespace brevan
