#include "ui/QtText.h"

#include <QStringDecoder>

QString ToQString(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError()) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text;
}

QString ToQString(const char* bytes) {
    return bytes ? ToQString(std::string(bytes)) : QString();
}

std::string FromQString(const QString& text) {
    return text.toStdString();
}
