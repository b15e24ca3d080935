#include "platform/QtPrompter.h"

#include <QFileDialog>
#include <QMessageBox>

namespace cantrel {

QString QtPrompter::qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
    return out.join(QStringLiteral(";;"));
}

void QtPrompter::message(const QString& caption, const QString& text)
{
    // A plain box: no icon, just the text and OK.
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent_);
    box.exec();
}

void QtPrompter::error(const QString& caption, const QString& text)
{
    QMessageBox::critical(parent_, caption, text, QMessageBox::Ok);
}

Answer QtPrompter::question(const QString& caption, const QString& text)
{
    switch (QMessageBox::warning(parent_, caption, text,
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                 QMessageBox::Yes)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

static QString runDialog(QWidget* parent, const FileDialogRequest& request, bool save)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(QtPrompter::qtFilter(request.filter));
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setDirectory(request.directory);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtPrompter::openFile(const FileDialogRequest& request)
{
    return runDialog(parent_, request, false);
}

QString QtPrompter::saveFile(const FileDialogRequest& request)
{
    return runDialog(parent_, request, true);
}

} // namespace cantrel
