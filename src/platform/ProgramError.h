#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace cantrel {

// A failure that carries the text to show.
class TextFailure : public std::exception {
public:
    explicit TextFailure(QString text) : text_(std::move(text)), utf8_(text_.toUtf8()) {}
    const QString& text() const noexcept { return text_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
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
