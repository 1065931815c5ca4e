#include "printer/memory_folder.h"

#include "common/file_writing.h"
#include "common/folders.h"
#include "common/safe_text.h"
#include "common/whole_file.h"
#include "render/epl2_commands.h"
#include "render/message_words.h"

#include <QDir>
#include <QFile>
#include <QImageReader>

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

QByteArray MemoryFolder::fileNameOf(const QByteArray& name, const char* suffix)
{
    return name.toPercentEncoding(QByteArray(), QByteArray(".~")) + suffix;
}

// Every field of PrinterSettings as the line that sets it: a setting added there belongs here too, or it
// does not last across a restart (and in configurationReport, for UQ).
QByteArray MemoryFolder::settingsText(const PrinterSettings& settings)
{
    QByteArray text;
    const auto line = [&text](const QByteArray& each) { text += each + "\r\n"; };
    if (settings.width)
        line("q" + QByteArray::number(*settings.width));
    if (settings.length) {
        QByteArray length = "Q" + QByteArray::number(*settings.length) + ',' + settings.gap;
        if (settings.offset != 0)
            length += ',' + QByteArray::number(settings.offset);
        line(length);
    }
    line("D" + QByteArray::number(settings.density));
    line("S" + QByteArray::number(settings.speed));
    line(characterSetLine(settings.codePage));
    line("R" + QByteArray::number(settings.reference.x()) + ',' + QByteArray::number(settings.reference.y()));
    line(settings.bottomFirst ? "ZB" : "ZT");
    line("J" + settings.formBackup);
    line("O" + settings.options);
    if (settings.asianSpacing != 0)
        line("i" + QByteArray::number(settings.asianSpacing));
    return text;
}

QString MemoryFolder::load(PrinterMemory& memory, QStringList& problems)
{
    const QDir folder(m_path);
    for (const char* kind : {"forms", "graphics", "fonts"}) {
        const QString path = folder.filePath(QLatin1String(kind));
        const QString problem = makeFolder(path);
        if (!problem.isEmpty())
            return QStringLiteral("cannot make the folder %1: %2").arg(visibleForMessage(path), problem);
    }
    const QDir forms(folder.filePath(QStringLiteral("forms")));
    for (const QString& name : forms.entryList({QStringLiteral("*.form")}, QDir::Files, QDir::Name)) {
        QFile file(forms.filePath(name));
        const QByteArray formName = QByteArray::fromPercentEncoding(name.chopped(5).toLatin1());
        QList<StoredLine> lines;
        if (file.size() > kMaxMemoryFileBytes || !file.open(QIODevice::ReadOnly) ||
            !readFormText(file.readAll(), &lines) || fileNameOf(formName, ".form") != name.toLatin1()) {
            problems << QStringLiteral("%1 is not a form this printer wrote; left out")
                            .arg(visibleForMessage(file.fileName()));
            continue;
        }
        memory.forms.insert(formName, lines);
        m_forms.insert(formName, formText(lines));
    }
    const QDir graphics(folder.filePath(QStringLiteral("graphics")));
    for (const QString& name : graphics.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name)) {
        const QByteArray graphicName = QByteArray::fromPercentEncoding(name.chopped(4).toLatin1());
        QImageReader reader(graphics.filePath(name), "png");
        const QSize size = reader.size();
        QImage picture;
        if (size.isValid() && qint64(size.width()) * size.height() <= kMaxStoredGraphicDots)
            picture = reader.read().convertToFormat(QImage::Format_Grayscale8);
        if (picture.isNull() || fileNameOf(graphicName, ".png") != name.toLatin1()) {
            problems << QStringLiteral("%1 is not a graphic this printer wrote; left out")
                            .arg(visibleForMessage(graphics.filePath(name)));
            continue;
        }
        memory.graphics.insert(graphicName, picture);
        m_graphics.insert(graphicName, picture);
    }
    const QDir fonts(folder.filePath(QStringLiteral("fonts")));
    for (const QString& name : fonts.entryList({QStringLiteral("*.font")}, QDir::Files, QDir::Name)) {
        QFile file(fonts.filePath(name));
        const QByteArray fontName = QByteArray::fromPercentEncoding(name.chopped(5).toLatin1());
        QString why;
        std::optional<SoftFont> font;
        if (file.size() <= kMaxSoftFontBytes && file.open(QIODevice::ReadOnly) && isSoftFontName(fontName) &&
            fileNameOf(fontName, ".font") == name.toLatin1())
            font = readSoftFont(file.readAll(), &why);
        if (!font || storedSoftFontBytes(memory) + font->data.size() > kMaxSoftFontBytes) {
            problems << QStringLiteral("%1 is not a soft font this printer wrote; left out")
                            .arg(visibleForMessage(file.fileName()));
            continue;
        }
        m_fonts.insert(fontName, font->data);
        memory.softFonts.insert(fontName, std::move(*font));
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

template <typename Value, typename Write>
void MemoryFolder::saveKind(const QHash<QByteArray, Value>& now, QHash<QByteArray, Value>& written,
                            const QString& folder, const char* suffix, const Write& write, QStringList& problems)
{
    const QDir dir(folder);
    for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
        const auto was = written.constFind(it.key());
        if (was != written.constEnd() && *was == it.value())
            continue;
        const QByteArray fileName = fileNameOf(it.key(), suffix);
        if (fileName.size() > kMaxFileNameBytes) {
            problems << QStringLiteral("\"%1\" has too long a name to keep on disk").arg(printableExcerpt(it.key()));
            continue;
        }
        const QString problem = write(dir.filePath(QString::fromLatin1(fileName)), it.value());
        if (!problem.isEmpty()) {
            problems << problem;
            continue;
        }
        written.insert(it.key(), it.value());
    }
    for (auto it = written.begin(); it != written.end();) {
        if (now.contains(it.key())) {
            ++it;
            continue;
        }
        const QString path = dir.filePath(QString::fromLatin1(fileNameOf(it.key(), suffix)));
        if (QFile::exists(path) && !QFile::remove(path)) {
            problems << QStringLiteral("cannot remove %1").arg(visibleForMessage(path));
            ++it;
            continue;
        }
        it = written.erase(it);
    }
}

QStringList MemoryFolder::save(const PrinterMemory& memory)
{
    QStringList problems;
    QHash<QByteArray, QByteArray> forms;
    for (auto it = memory.forms.constBegin(); it != memory.forms.constEnd(); ++it)
        forms.insert(it.key(), formText(it.value()));
    saveKind(forms, m_forms, QDir(m_path).filePath(QStringLiteral("forms")), ".form", writeWholeFile, problems);
    saveKind(memory.graphics, m_graphics, QDir(m_path).filePath(QStringLiteral("graphics")), ".png", writePng,
             problems);
    QHash<QByteArray, QByteArray> fonts;
    for (auto it = memory.softFonts.constBegin(); it != memory.softFonts.constEnd(); ++it)
        fonts.insert(it.key(), it.value().data);
    saveKind(fonts, m_fonts, QDir(m_path).filePath(QStringLiteral("fonts")), ".font", writeWholeFile, problems);
    const QByteArray settings = settingsText(memory.settings);
    if (settings != m_settings) {
        const QString problem = writeWholeFile(QDir(m_path).filePath(QStringLiteral("settings.epl")), settings);
        if (problem.isEmpty())
            m_settings = settings;
        else
            problems << problem;
    }
    return problems;
}
