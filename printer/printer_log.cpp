#include "printer/printer_log.h"

#include "common/safe_text.h"

#include <QJsonDocument>
#include <QJsonObject>

void PrinterLog::write(const QString& kind, const QString& text, const Fields& fields)
{
    QByteArray line;
    if (m_json) {
        QJsonObject object;
        object.insert(QStringLiteral("event"), kind);
        for (const auto& [name, value] : fields) {
            if (value.typeId() == QMetaType::QString)
                object.insert(name, safeMessageLine(value.toString()));
            else
                object.insert(name, QJsonValue::fromVariant(value));
        }
        line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    } else {
        line = safeMessageLine(text).toUtf8();
    }
    line += '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), m_out);
    std::fflush(m_out);
    if (m_listener)
        m_listener(kind, fields);
}
