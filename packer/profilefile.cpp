// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/profilefile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// The length of the buffer that the stored files were read into, without its terminating zero.
constexpr qsizetype MaxValueCharacters = 1023;

constexpr QByteArrayView ByteOrderMark("\xEF\xBB\xBF");
constexpr QByteArrayView NewLineBreak("\r\n");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedBlanks(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin);
}

// One line of the file: its text [begin, end) without the line break, and where the next line
// starts. next == end only for a last line that has no line feed.
struct Line {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

class LineScanner {
public:
    explicit LineScanner(QByteArrayView data) : m_data(data)
    {
        if (data.startsWith(ByteOrderMark))
            m_pos = ByteOrderMark.size();
    }

    bool next(Line& line)
    {
        if (m_pos >= m_data.size())
            return false;
        const char* start = m_data.data() + m_pos;
        const auto* feed =
            static_cast<const char*>(std::memchr(start, '\n', m_data.size() - m_pos));
        qsizetype end = feed ? feed - m_data.data() : m_data.size();
        line.begin = m_pos;
        line.next = feed ? end + 1 : end;
        while (end > line.begin && m_data[end - 1] == '\r')
            --end;
        line.end = end;
        m_pos = line.next;
        return true;
    }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    QByteArrayView name;
    QByteArrayView value; // after "=", untrimmed
};

ParsedLine parseLine(QByteArrayView text)
{
    ParsedLine parsed;
    const QByteArrayView content = trimmedBlanks(text);
    if (content.isEmpty() || content.front() == ';')
        return parsed;
    if (content.front() == '[') {
        const qsizetype close = content.indexOf(']');
        if (close > 0) {
            parsed.kind = LineKind::Section;
            parsed.name = trimmedBlanks(content.sliced(1, close - 1));
        }
        return parsed;
    }
    const qsizetype equals = content.indexOf('=');
    if (equals >= 0) {
        parsed.kind = LineKind::Key;
        parsed.name = trimmedBlanks(content.first(equals));
        parsed.value = content.sliced(equals + 1);
    }
    return parsed;
}

bool sameName(QByteArrayView stored, const QString& wanted)
{
    return QString::fromUtf8(stored).compare(wanted, Qt::CaseInsensitive) == 0;
}

bool isUsableName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('\n')) &&
           !name.contains(QLatin1Char('\r'));
}

QString trimmedName(const QString& name)
{
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && (name[begin] == u' ' || name[begin] == u'\t'))
        ++begin;
    while (end > begin && (name[end - 1] == u' ' || name[end - 1] == u'\t'))
        --end;
    return name.sliced(begin, end - begin);
}

bool isUsableSection(const QString& section)
{
    return isUsableName(section) && !section.contains(QLatin1Char(']'));
}

bool isUsableKey(const QString& key)
{
    return isUsableName(key) && !key.contains(QLatin1Char('=')) &&
           !key.startsWith(QLatin1Char('[')) && !key.startsWith(QLatin1Char(';'));
}

QString firstCharacters(QString text, qsizetype count)
{
    qsizetype units = 0;
    for (qsizetype n = 0; n < count && units < text.size(); ++n) {
        const bool pair = text[units].isHighSurrogate() && units + 1 < text.size() &&
                          text[units + 1].isLowSurrogate();
        units += pair ? 2 : 1;
    }
    text.truncate(units);
    return text;
}

QString decodedValue(QByteArrayView raw)
{
    QByteArrayView value = trimmedBlanks(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return firstCharacters(QString::fromUtf8(value), MaxValueCharacters);
}

// The raw value of the key, or nothing when the first matching section has no such key.
std::optional<QByteArrayView> findValue(QByteArrayView data, const QString& section,
                                        const QString& key)
{
    LineScanner scanner(data);
    Line line;
    bool inSection = false;
    while (scanner.next(line)) {
        const ParsedLine parsed = parseLine(data.sliced(line.begin, line.end - line.begin));
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                return std::nullopt;
            inSection = sameName(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key && sameName(parsed.name, key)) {
            return parsed.value;
        }
    }
    return std::nullopt;
}

// The line break that ends an unterminated last line: a lone carriage return only lacks its
// line feed.
QByteArrayView breakAfter(QByteArrayView data)
{
    return data.endsWith('\r') ? QByteArrayView("\n") : NewLineBreak;
}

QByteArray withKeyLine(const QByteArray& data, const QString& section, const QString& key,
                       const QByteArray& keyLine)
{
    LineScanner scanner(data);
    Line line;
    bool inSection = false;
    Line lastContent;
    while (scanner.next(line)) {
        const QByteArrayView text = QByteArrayView(data).sliced(line.begin, line.end - line.begin);
        const ParsedLine parsed = parseLine(text);
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                break;
            inSection = sameName(parsed.name, section);
            lastContent = line;
            continue;
        }
        if (!inSection)
            continue;
        if (parsed.kind == LineKind::Key && sameName(parsed.name, key)) {
            QByteArray result = data;
            result.replace(line.begin, line.end - line.begin, keyLine);
            return result;
        }
        if (!trimmedBlanks(text).isEmpty())
            lastContent = line;
    }

    QByteArray addition;
    qsizetype at = data.size();
    if (inSection) {
        at = lastContent.next;
        if (at == data.size() && !data.endsWith('\n'))
            addition += breakAfter(data);
    } else {
        if (!data.isEmpty() && !data.endsWith('\n') && data != ByteOrderMark)
            addition += breakAfter(data);
        addition += '[' + section.toUtf8() + ']';
        addition += NewLineBreak;
    }
    addition += keyLine;
    addition += NewLineBreak;
    QByteArray result = data;
    result.insert(at, addition);
    return result;
}

// The file that the path finally names, following symbolic links as the replacement does.
QString resolvedPath(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

// The temporary file of a replacement is named after the file with this and six more letters
// or digits, so that a leftover of a killed replacement can be told from the user's own files.
const QByteArray TemporarySuffix = ".kompaktor-";

// Removes what earlier replacements of the file left behind when they were killed.
void removeLeftovers(const QString& target)
{
    const QFileInfo info(target);
    QDir folder = info.absoluteDir();
    folder.setNameFilters({info.fileName() + QString::fromLatin1(TemporarySuffix) + "??????"});
    for (const QFileInfo& leftover : folder.entryInfoList(QDir::Files | QDir::Hidden)) {
        if (!leftover.isSymLink() && leftover.ownerId() == ::geteuid())
            QFile::remove(leftover.filePath());
    }
}

// Gives the new file the old one's permissions, and its owner, so that a run as root does not
// take a user's settings away from the user (the owner only as far as allowed).
void takeOverAttributes(int fd, const QString& old)
{
    struct stat status {};
    if (::stat(QFile::encodeName(old).constData(), &status) == 0) {
        ::fchmod(fd, status.st_mode & 07777);
        if (status.st_uid != ::geteuid() || status.st_gid != ::getegid()) [[maybe_unused]]
            const int kept = ::fchown(fd, status.st_uid, status.st_gid);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
}

// Replaces the file's content as a whole: a temporary file beside it takes the new content and
// is then renamed over it, so that the file never holds half of it. Where the folder cannot take
// a new file but the file itself may be written, it is written in place.
bool replaceFile(const QString& target, const QByteArray& content, bool folderWritable)
{
    const QByteArray name = QFile::encodeName(target);
    QByteArray temporary = name + TemporarySuffix + "XXXXXX";
    const int fd = folderWritable ? ::mkostemp(temporary.data(), O_CLOEXEC) : -1;
    if (fd < 0) {
        const bool inPlace = errno == EACCES || errno == EPERM || errno == EROFS || !folderWritable;
        if (!inPlace || !QFileInfo::exists(target))
            return false;
        QFile file(target);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(content) == content.size() && file.flush();
    }
    takeOverAttributes(fd, target);
    QFile file;
    const bool written = file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle) &&
                         file.write(content) == content.size() && file.flush() && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temporary.constData(), name.constData()) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

} // namespace

bool isWriteProtected(const QFileInfo& info)
{
    constexpr auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(info.permissions() & writeBits);
}

QString readProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue)
{
    const QString sectionName = trimmedName(section);
    const QString keyName = trimmedName(key);
    // Only regular files: a pipe or a device could block or never end.
    if (!isUsableSection(sectionName) || !isUsableKey(keyName) || !QFileInfo(path).isFile())
        return defaultValue;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return defaultValue;
    const std::optional<QByteArrayView> raw = findValue(data, sectionName, keyName);
    return raw ? decodedValue(*raw) : defaultValue;
}

qint32 readProfileInteger(const QString& path, const QString& section, const QString& key,
                          qint32 defaultValue)
{
    return profileTextToInteger(readProfileString(path, section, key, QString()))
        .value_or(defaultValue);
}

bool writeProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value)
{
    return writeProfileStrings(path, section, {{key, value}});
}

bool writeProfileStrings(const QString& path, const QString& section,
                         const QList<std::pair<QString, QString>>& entries)
{
    return writeProfileSections(path, {{section, entries}});
}

bool writeProfileSections(const QString& path, const QList<ProfileSection>& sections)
{
    for (const ProfileSection& section : sections) {
        if (!isUsableSection(trimmedName(section.name)))
            return false;
        for (const auto& entry : section.entries) {
            if (!isUsableKey(trimmedName(entry.first)))
                return false;
        }
    }

    const QFileInfo existing(path);
    const bool exists = existing.exists();
    QByteArray before;
    if (exists) {
        if (!existing.isFile() || isWriteProtected(existing))
            return false;
        // Content that cannot be read could not be kept.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        before = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
    }
    const QString target = resolvedPath(path);
    const QFileInfo folder(QFileInfo(target).absolutePath());
    const bool folderWritable = !(folder.isDir() && isWriteProtected(folder));
    if (!exists && !folderWritable)
        return false;

    QByteArray after = before;
    for (const ProfileSection& section : sections) {
        const QString sectionName = trimmedName(section.name);
        for (const auto& [key, value] : section.entries) {
            const QString keyName = trimmedName(key);
            QString oneLine = value;
            oneLine.replace(QLatin1Char('\r'), QLatin1Char(' '))
                .replace(QLatin1Char('\n'), QLatin1Char(' '));
            after =
                withKeyLine(after, sectionName, keyName, keyName.toUtf8() + '=' + oneLine.toUtf8());
        }
    }
    removeLeftovers(target);
    if (exists && after == before)
        return true;
    return replaceFile(target, after, folderWritable);
}

std::optional<qint32> profileTextToInteger(QString text)
{
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        text.replace(0, 2, QStringLiteral("$"));

    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    if (i == text.size())
        return std::nullopt;

    if (text[i] == u'$') {
        if (++i == text.size())
            return std::nullopt;
        quint64 value = 0;
        for (; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            int digit = -1;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + digit;
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        return static_cast<qint32>(static_cast<quint32>(value));
    }

    const bool negative = text[i] == u'-';
    if (negative || text[i] == u'+')
        ++i;
    if (i == text.size())
        return std::nullopt;
    const qint64 limit = negative ? 2147483648LL : 2147483647LL;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<qint32>(negative ? -value : value);
}
