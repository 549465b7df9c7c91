#include "ui/frmSettings.h"

#include "app/picker_start.h"
#include "app/settings.h"
#include "desktop/dialogs.h"
#include "desktop/message_box.h"
#include "ui/app_icon.h"
#include "ui/folder_picker.h"
#include "ui/form_controls.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace brevan {
namespace {

QString ToText(const std::string& value) { return QString::fromStdString(value); }
std::string FromText(const QLineEdit* box) { return box->text().toStdString(); }

// Fills `box` with a file picked in the file-open dialog, which starts where
// the box's path is (in the Wine prefix when it is empty); a cancel leaves
// it, and so does a window closed while the dialog was open.
void PickFileInto(QWidget* owner, QLineEdit* box, const char* filter) {
    const QPointer<QLineEdit> target(box);
    const std::string chosen = ShowOpenFileDialog(owner, filter, FilePickerStart(FromText(box)));
    if (!chosen.empty() && !target.isNull()) target->setText(ToText(chosen));
}

}  // namespace

frmSettings::frmSettings() : QWidget(nullptr) {
    setObjectName(QStringLiteral("frmSettings"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Einstellungen"));
    setWindowIcon(AppIcon());
    resize(Twips(4080), Twips(4530));

    PlaceLabel(this, "Label1", QStringLiteral("TV Movie tvupdate.exe Path:"), TwipsRect(240, 360, 3015, 255));
    TVUpdatepath = PlaceTextBox(this, "TVUpdatepath", TwipsRect(240, 840, 3100, 285));
    Command1 = PlaceButton(this, "Command1", QStringLiteral("..."), TwipsRect(3480, 840, 375, 255));
    cmdOK = PlaceButton(this, "cmdOK", QStringLiteral("OK"), TwipsRect(2400, 3720, 1260, 345));
    PlaceLabel(this, "Label2", QStringLiteral("TV Movie tvdaten.mdb Path:"), TwipsRect(240, 1320, 2415, 255));
    TVDatapath = PlaceTextBox(this, "TVDatapath", TwipsRect(240, 1800, 3100, 285));
    Command2 = PlaceButton(this, "Command2", QStringLiteral("..."), TwipsRect(3480, 1800, 375, 255));
    PlaceLabel(this, "Label3", QStringLiteral("myHTPC Output File"), TwipsRect(240, 2280, 3135, 255));
    TVmyHTPCpath = PlaceTextBox(this, "TVmyHTPCpath", TwipsRect(240, 2640, 3100, 285));
    Command3 = PlaceButton(this, "Command3", QStringLiteral("..."), TwipsRect(3480, 2640, 375, 255));
    cmdOK->setDefault(true);
    FitFontToLabels(this);

    // OK comes right after the first row's browse button.
    setTabOrder(TVUpdatepath, Command1);
    setTabOrder(Command1, cmdOK);
    setTabOrder(cmdOK, TVDatapath);
    setTabOrder(TVDatapath, Command2);
    setTabOrder(Command2, TVmyHTPCpath);
    setTabOrder(TVmyHTPCpath, Command3);
    TVUpdatepath->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmSettings::cmdOK_Click);
    connect(Command1, &QPushButton::clicked, this, &frmSettings::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmSettings::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmSettings::Command3_Click);

    Form_Load();
}

void frmSettings::Form_Load() {
    TVUpdatepath->setText(ToText(AppSettings.UpdaterPath));
    TVDatapath->setText(ToText(AppSettings.DatabasePath));
    TVmyHTPCpath->setText(ToText(AppSettings.OutputFolder));
}

void frmSettings::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        if (event->modifiers() & ~Qt::KeypadModifier) break;
        cmdOK->click();
        return;
    default: break;
    }
    QWidget::keyPressEvent(event);
}

void frmSettings::cmdOK_Click() {
    AppSettings.DatabasePath = FromText(TVDatapath);
    AppSettings.UpdaterPath = FromText(TVUpdatepath);
    AppSettings.OutputFolder = FromText(TVmyHTPCpath);

    CreateIniFolder(AppSettings.IniPath);
    bool saved = WriteIniValue(kIniSection, kKeyDatabasePath, AppSettings.DatabasePath, AppSettings.IniPath);
    saved = WriteIniValue(kIniSection, kKeyUpdaterPath, AppSettings.UpdaterPath, AppSettings.IniPath) && saved;
    saved = WriteIniValue(kIniSection, kKeyOutputFolder, AppSettings.OutputFolder, AppSettings.IniPath) && saved;
    // The new values count for this run either way; the user must know that
    // the next start will not see them. The window may be gone once the
    // message has been read.
    const QPointer<frmSettings> alive(this);
    if (!saved) MsgBox("The settings could not be saved to " + AppSettings.IniPath + ".");
    if (!alive.isNull()) close();
}

// The form's own entry first; the second lets a Linux program or script be
// picked as the updater.
void frmSettings::Command1_Click() {
    PickFileInto(this, TVUpdatepath, "TVMovie (tvupdate.exe)| tvupdate.exe|All files (*)|*");
}

void frmSettings::Command2_Click() { PickFileInto(this, TVDatapath, "TVMovie (tvdaten.mdb)| tvdaten.mdb"); }

void frmSettings::Command3_Click() {
    const QPointer<frmSettings> alive(this);
    const std::string folder =
        BrowseForFolderPath("Wählen Sie einen Ordner aus.", FolderPickerStart(FromText(TVmyHTPCpath)));
    // A cancelled browser keeps the folder that was there.
    if (folder.empty()) return;
    // The picked folder counts at once, even if the window is then closed
    // without OK.
    AppSettings.OutputFolder = folder;
    if (!alive.isNull()) TVmyHTPCpath->setText(ToText(folder));
}

}  // namespace brevan
