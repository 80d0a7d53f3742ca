#include "dravik_fuzz.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

const QString& folder()
{
    static QTemporaryDir* dir = new QTemporaryDir();  // removed by the exit handler below
    static const QString path = [] {
        if (!dir->isValid()) {
            std::fprintf(stderr, "cannot make a temporary folder\n");
            std::abort();
        }
        std::atexit([] { delete dir; });
        return dir->path();
    }();
    return path;
}

QString write_input(const QString& name, const uint8_t* data, size_t size)
{
    const QString path = folder() + "/" + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != static_cast<qint64>(size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

}  // namespace fuzz
