// The file and folder pickers: the filter in Qt's form, the test seam, and the
// real dialogs answered by a simulated user.
#include "desktop/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(QtFileFilterTest, KeepsADescriptionThatAlreadyNamesItsPattern) {
    EXPECT_EQ(brevan::QtFileFilter("TVMovie (tvupdate.exe)| tvupdate.exe"), "TVMovie (tvupdate.exe)");
    EXPECT_EQ(brevan::QtFileFilter("TVMovie (tvdaten.mdb)| tvdaten.mdb"), "TVMovie (tvdaten.mdb)");
}

TEST(QtFileFilterTest, AppendsThePatternsAndJoinsSeveralEntries) {
    EXPECT_EQ(brevan::QtFileFilter("Databases|*.mdb;*.accdb"), "Databases (*.mdb *.accdb)");
    EXPECT_EQ(brevan::QtFileFilter("Databases| *.mdb |All files|*"), "Databases (*.mdb);;All files (*)");
    EXPECT_EQ(brevan::QtFileFilter(""), "");
}

TEST(DialogSeamTest, AnAnswerServesOneDialogOfItsKind) {
    brevan::SetNextFileName("/a/tvdaten.mdb");
    brevan::SetNextFolder(std::nullopt);
    EXPECT_EQ(brevan::ShowFolderDialog(nullptr, "Prompt"), "");
    EXPECT_EQ(brevan::LastDialogRequest().title, "Prompt");
    EXPECT_EQ(brevan::ShowOpenFileDialog(nullptr, "X (tvdaten.mdb)| tvdaten.mdb"), "/a/tvdaten.mdb");
    EXPECT_EQ(brevan::LastDialogRequest().filter, "X (tvdaten.mdb)");
    EXPECT_EQ(brevan::LastDialogRequest().title, "");
    brevan::ClearDialogAnswers();
}

// Plays the user: once the modal file dialog is up, `act` answers it.
class DialogUser {
public:
    explicit DialogUser(std::function<void(QFileDialog*)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                timer_.stop();
                seen_ = true;
                act_(dialog);
            } else if (++tries_ > 500) {  // five seconds: give up rather than hang
                timer_.stop();
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (auto* d = qobject_cast<QFileDialog*>(w)) d->reject();
                }
            }
        });
        timer_.start(10);
    }
    bool Seen() const { return seen_; }

private:
    std::function<void(QFileDialog*)> act_;
    QTimer timer_;
    int tries_ = 0;
    bool seen_ = false;
};

class RealDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        brevan::ClearDialogAnswers();
    }
    QTemporaryDir dir_;
};

TEST_F(RealDialogTest, FileDialogOffersTheOneFilterAndReturnsTheChosenFile) {
    const QString file = dir_.filePath(QStringLiteral("tvdaten.mdb"));
    QFile(file).open(QIODevice::WriteOnly);
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    DialogUser user([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        mode = dialog->fileMode();
        dialog->selectFile(file);
        static_cast<QDialog*>(dialog)->accept();  // public in QDialog
    });
    EXPECT_EQ(brevan::ShowOpenFileDialog(nullptr, "TVMovie (tvdaten.mdb)| tvdaten.mdb"), file.toStdString());
    ASSERT_TRUE(user.Seen());
    EXPECT_EQ(filters, QStringList{"TVMovie (tvdaten.mdb)"});
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
}

TEST_F(RealDialogTest, CancelledFileDialogReturnsEmpty) {
    DialogUser user([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(brevan::ShowOpenFileDialog(nullptr, "TVMovie (tvupdate.exe)| tvupdate.exe"), "");
    EXPECT_TRUE(user.Seen());
}

TEST_F(RealDialogTest, FolderDialogListsFoldersOnlyAndReturnsTheWholePath) {
    // Deeper than the 260 characters a fixed buffer would hold.
    QString deep = dir_.path();
    while (deep.size() <= 300) deep += QStringLiteral("/Sendungen-und-Programme");
    ASSERT_TRUE(QDir().mkpath(deep));
    QString title;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    bool dirsOnly = false;
    DialogUser user([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        mode = dialog->fileMode();
        dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
        dialog->setDirectory(deep);               // nothing selected in it: the folder itself is the answer
        static_cast<QDialog*>(dialog)->accept();  // public in QDialog
    });
    EXPECT_EQ(brevan::ShowFolderDialog(nullptr, "Wählen Sie einen Ordner aus."), deep.toStdString());
    ASSERT_TRUE(user.Seen());
    EXPECT_EQ(title, QStringLiteral("Wählen Sie einen Ordner aus."));
    EXPECT_EQ(mode, QFileDialog::Directory);
    EXPECT_TRUE(dirsOnly);
}

TEST_F(RealDialogTest, CancelledFolderDialogReturnsEmpty) {
    DialogUser user([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(brevan::ShowFolderDialog(nullptr, "Prompt"), "");
    EXPECT_TRUE(user.Seen());
}

}  // namespace
