#include "printer/memory_folder.h"

#include "output/safe_text.h"
#include "render/epl2_commands.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

constexpr int kMaxFileNameBytes = 200;
constexpr qint64 kMaxMemoryFileBytes = 16 * 1024 * 1024;

QByteArray formText(const QList<StoredLine>& lines)
{
    QByteArray text;
    for (const StoredLine& line : lines)
        text += QByteArray::number(line.line) + ' ' + line.text + '\n';
    return text;
}

bool readFormText(const QByteArray& text, QList<StoredLine>* lines)
{
    for (QByteArrayView rest(text); !rest.isEmpty();) {
        const qsizetype end = rest.indexOf('\n');
        if (end < 0)
            return false;
        const QByteArrayView line = rest.first(end);
        rest = rest.sliced(end + 1);
        const qsizetype blank = line.indexOf(' ');
        bool ok = false;
        const int number = blank > 0 ? line.first(blank).toInt(&ok) : 0;
        if (!ok || number < 0)
            return false;
        lines->append(StoredLine{line.sliced(blank + 1).toByteArray(), number});
    }
    return true;
}

QString writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(visibleForMessage(path), file.errorString());
    return QString();
}

// Takes every line; the notes of lines it could not carry out go to `problems`.
class NoteSink final : public LabelSink
{
public:
    explicit NoteSink(QStringList& problems) : m_problems(problems) {}
    void label(RenderedLabel&&) override {}
    void note(const JobNote& note) override
    {
        m_problems << QStringLiteral("settings.epl line %1: %2").arg(note.line).arg(note.text);
    }

private:
    QStringList& m_problems;
};

} // namespace

MemoryFolder::MemoryFolder(const QString& path) : m_path(path) {}

QByteArray MemoryFolder::fileNameOf(const QByteArray& formName)
{
    return formName.toPercentEncoding(QByteArray(), QByteArray(".~")) + ".form";
}

// Every field of PrinterSettings as the line that sets it: a setting added there belongs here too, or it
// does not last across a restart (and in configurationReport, for UQ).
QByteArray MemoryFolder::settingsText(const PrinterSettings& settings)
{
    QByteArray text;
    if (settings.width)
        text += "q" + QByteArray::number(*settings.width) + "\r\n";
    if (settings.length) {
        text += "Q" + QByteArray::number(*settings.length) + ',' + settings.gap;
        if (settings.offset != 0)
            text += ',' + QByteArray::number(settings.offset);
        text += "\r\n";
    }
    text += "D" + QByteArray::number(settings.density) + "\r\n";
    text += "S" + QByteArray::number(settings.speed) + "\r\n";
    return text;
}

QString MemoryFolder::load(PrinterMemory& memory, QStringList& problems)
{
    QDir folder(m_path);
    if (!folder.mkpath(QStringLiteral("forms")))
        return QStringLiteral("cannot make the folder %1")
            .arg(visibleForMessage(folder.filePath(QStringLiteral("forms"))));
    const QDir forms(folder.filePath(QStringLiteral("forms")));
    const QStringList files = forms.entryList({QStringLiteral("*.form")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile file(forms.filePath(name));
        const QByteArray formName = QByteArray::fromPercentEncoding(name.chopped(5).toLatin1());
        QList<StoredLine> lines;
        if (file.size() > kMaxMemoryFileBytes || !file.open(QIODevice::ReadOnly) ||
            !readFormText(file.readAll(), &lines) || fileNameOf(formName) != name.toLatin1()) {
            problems << QStringLiteral("%1 is not a form this printer wrote; left out")
                            .arg(visibleForMessage(file.fileName()));
            continue;
        }
        memory.forms.insert(formName, lines);
        m_forms.insert(formName, formText(lines));
    }
    QFile settings(folder.filePath(QStringLiteral("settings.epl")));
    if (settings.exists()) {
        if (settings.size() > kMaxMemoryFileBytes || !settings.open(QIODevice::ReadOnly)) {
            problems << QStringLiteral("cannot read %1; the settings start as they do on a new printer")
                            .arg(visibleForMessage(settings.fileName()));
        } else {
            NoteSink sink(problems);
            RenderOptions options;
            options.maxLabels = 0;
            LabelStream stream(memory, options, sink);
            stream.feed(settings.readAll());
            stream.finish();
        }
    }
    m_settings = settingsText(memory.settings);
    return QString();
}

QStringList MemoryFolder::save(const PrinterMemory& memory)
{
    QStringList problems;
    const QDir forms(QDir(m_path).filePath(QStringLiteral("forms")));
    for (auto it = memory.forms.constBegin(); it != memory.forms.constEnd(); ++it) {
        const QByteArray text = formText(it.value());
        if (m_forms.value(it.key()) == text && m_forms.contains(it.key()))
            continue;
        const QByteArray fileName = fileNameOf(it.key());
        if (fileName.size() > kMaxFileNameBytes) {
            problems << QStringLiteral("the form \"%1\" has too long a name to keep on disk")
                            .arg(printableExcerpt(it.key()));
            continue;
        }
        const QString problem = writeWhole(forms.filePath(QString::fromLatin1(fileName)), text);
        if (!problem.isEmpty()) {
            problems << problem;
            continue;
        }
        m_forms.insert(it.key(), text);
    }
    for (auto it = m_forms.begin(); it != m_forms.end();) {
        if (memory.forms.contains(it.key())) {
            ++it;
            continue;
        }
        const QString path = forms.filePath(QString::fromLatin1(fileNameOf(it.key())));
        if (QFile::exists(path) && !QFile::remove(path)) {
            problems << QStringLiteral("cannot remove %1").arg(visibleForMessage(path));
            ++it;
            continue;
        }
        it = m_forms.erase(it);
    }
    const QByteArray settings = settingsText(memory.settings);
    if (settings != m_settings) {
        const QString problem = writeWhole(QDir(m_path).filePath(QStringLiteral("settings.epl")), settings);
        if (problem.isEmpty())
            m_settings = settings;
        else
            problems << problem;
    }
    return problems;
}
