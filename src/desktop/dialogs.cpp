#include "desktop/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace brevan {
namespace {

// A pending answer: the outer optional says whether one is set, the inner
// one whether it chooses something.
struct Seam {
    std::optional<std::optional<std::string>> nextFile;
    std::optional<std::optional<std::string>> nextFolder;
    DialogRequest last;
};

Seam& TheSeam() {
    static Seam seam;
    return seam;
}

std::string TakeAnswer(std::optional<std::optional<std::string>>& pending) {
    std::string answer = pending->value_or(std::string());
    pending.reset();
    return answer;
}

}  // namespace

std::string QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!p.trimmed().isEmpty()) patterns << p.trimmed();
        }
        const QString suffix = QStringLiteral("(%1)").arg(patterns.join(QLatin1Char(' ')));
        entries << (description.endsWith(suffix) ? description : description + QLatin1Char(' ') + suffix);
    }
    return entries.join(QStringLiteral(";;")).toStdString();
}

std::string StartFolderFor(const std::string& current) {
    if (current.empty()) return {};
    const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(current)));
    if (info.isDir()) return current;
    if (info.isFile()) return QFile::encodeName(info.absolutePath()).toStdString();
    return {};
}

std::string ShowOpenFileDialog(QWidget* owner, const std::string& filter, const std::string& current) {
    Seam& seam = TheSeam();
    seam.last = DialogRequest{owner, std::string(), QtFileFilter(filter), StartFolderFor(current)};
    if (seam.nextFile) return TakeAnswer(seam.nextFile);
    const QString chosen =
        QFileDialog::getOpenFileName(owner, QString(), QFile::decodeName(QByteArray::fromStdString(seam.last.start)),
                                     QString::fromStdString(seam.last.filter));
    return QFile::encodeName(chosen).toStdString();
}

std::string ShowFolderDialog(QWidget* owner, const std::string& prompt, const std::string& current) {
    Seam& seam = TheSeam();
    seam.last = DialogRequest{owner, prompt, std::string(), StartFolderFor(current)};
    if (seam.nextFolder) return TakeAnswer(seam.nextFolder);
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, QString::fromStdString(prompt), QFile::decodeName(QByteArray::fromStdString(seam.last.start)),
        QFileDialog::ShowDirsOnly);
    return QFile::encodeName(chosen).toStdString();
}

void SetNextFileName(std::optional<std::string> answer) { TheSeam().nextFile.emplace(std::move(answer)); }
void SetNextFolder(std::optional<std::string> answer) { TheSeam().nextFolder.emplace(std::move(answer)); }

void ClearDialogAnswers() {
    TheSeam().nextFile.reset();
    TheSeam().nextFolder.reset();
}

DialogRequest LastDialogRequest() { return TheSeam().last; }

}  // namespace brevan
