#include "platform/QtPrompter.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>

namespace cantrel {

QString QtPrompter::qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'));
        // "*.*" means every file, also one without a dot in its name; to Qt
        // it would mean only names with a dot.
        for (QString& pattern : patterns)
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return out.join(QStringLiteral(";;"));
}

namespace {
// Texts are shown as written: a file name such as "<b>Week</b>.24h" inside a
// question must not be taken for markup.
QMessageBox::StandardButton showBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton,
                                    const QString& detail = {})
{
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    // The informative text is the line below the main one. Its label does
    // not take the box's text format: a path must not be read as markup.
    box.setInformativeText(detail);
    if (auto* below = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        below->setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    // A short text makes a box so narrow that the window manager cuts its
    // caption down to "Ca...el"; a box is never narrower than its caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int captionWidth = box.fontMetrics().horizontalAdvance(caption) + 160;
        grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return QMessageBox::StandardButton(box.exec());
}
} // namespace

void QtPrompter::message(const QString& caption, const QString& text, const QString& detail)
{
    // A plain box: no icon, just the text and OK.
    showBox(parent_, QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QMessageBox::Ok, detail);
}

void QtPrompter::error(const QString& caption, const QString& text, const QString& detail)
{
    showBox(parent_, QMessageBox::Critical, caption, text, QMessageBox::Ok, QMessageBox::Ok,
            detail);
}

Answer QtPrompter::question(const QString& caption, const QString& text)
{
    // Yes is the default: Enter keeps the operator's edits.
    switch (showBox(parent_, QMessageBox::Warning, caption, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
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
