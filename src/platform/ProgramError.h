#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace cantrel {

// A failure that carries the text to show, and beside it what it concerns
// and why ("/srv/day.24h: no such file"): a box shows the detail on a line
// below the text, a line on standard error after it.
class TextFailure : public std::exception {
public:
    explicit TextFailure(QString text, QString detail = {})
        : text_(std::move(text)), detail_(std::move(detail)), utf8_(text_.toUtf8()) {}
    const QString& text() const noexcept { return text_; }
    const QString& detail() const noexcept { return detail_; }
    const char* what() const noexcept override { return utf8_.constData(); }
    // The text and its detail on one line, for a log or standard error.
    QString oneLine() const { return withDetail(text_, detail_); }
    static QString withDetail(const QString& text, const QString& detail)
    {
        const QString shown = text.trimmed();
        return detail.isEmpty() ? shown : shown + QStringLiteral(": ") + detail;
    }

private:
    QString text_;
    QString detail_;
    QByteArray utf8_;
};

// The program's own failures: a plain message text that the handler the
// operator started shows as it stands ("Can't load .24h file", ...).
class ProgramError : public TextFailure {
public:
    using TextFailure::TextFailure;
};

// A failure that is not one of the program's texts (a conversion, a write the
// platform refused). It goes to the general error display, never to the
// handlers that catch ProgramError.
class PlatformError : public TextFailure {
public:
    using TextFailure::TextFailure;
};

} // namespace cantrel
