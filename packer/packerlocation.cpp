#include "packer/packerlocation.h"

#include "platform/files.h"

QString searchFile(const QString& name, const QStringList& directories)
{
    if (fileExists(name))
        return name;
    for (const QString& entry : directories) {
        if (entry.isEmpty())
            continue;
        const QString candidate =
            entry.endsWith(QLatin1Char('/')) ? entry + name : entry + QLatin1Char('/') + name;
        if (fileExists(candidate))
            return candidate;
    }
    return {};
}

QStringList packerSearchDirectories(const QString& programDir, const QString& currentDir,
                                    const QString& pathValue)
{
    QStringList directories{programDir, currentDir};
    if (!pathValue.isEmpty())
        directories += pathValue.split(QLatin1Char(':'));
    return directories;
}

QString directoryPart(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}
