#pragma once
// The settings window: the three paths, each with a picker, saved by OK.
#include <QWidget>

class QKeyEvent;
class QLineEdit;
class QPushButton;

namespace brevan {

class frmSettings : public QWidget {
    Q_OBJECT
public:
    // A top-level window, filled from AppSettings, that deletes itself when
    // closed; the next one reads AppSettings afresh.
    frmSettings();

protected:
    // OK is both the default and the cancel button: Enter (unless a push
    // button has the focus, which then takes it) and Escape press it.
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void cmdOK_Click();
    void Command1_Click();  // pick the updater program
    void Command2_Click();  // pick the listing database
    void Command3_Click();  // pick the output folder

private:
    void Form_Load();

    QLineEdit* TVUpdatepath;
    QLineEdit* TVDatapath;
    QLineEdit* TVmyHTPCpath;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* cmdOK;
};

}  // namespace brevan
