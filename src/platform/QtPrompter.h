#pragma once

#include "platform/Prompter.h"

class QWidget;

namespace cantrel {

// Prompter on QMessageBox and QFileDialog.
class QtPrompter final : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(const QString& caption, const QString& text,
                 const QString& detail = {}) override;
    void error(const QString& caption, const QString& text, const QString& detail = {}) override;
    Answer question(const QString& caption, const QString& text) override;
    QString openFile(const FileDialogRequest& request) override;
    QString saveFile(const FileDialogRequest& request) override;

    // "Any file|*.*" -> "Any file (*)", ".24h files|*.24h" -> ".24h files (*.24h)"
    static QString qtFilter(const QString& filter);

private:
    QWidget* parent_;
};

} // namespace cantrel
