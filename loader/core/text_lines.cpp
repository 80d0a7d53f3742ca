#include "core/text_lines.h"

#include <QFile>

#include <algorithm>

bool ReadTextLines(const QString& path, std::vector<std::string>& lines, QString* error)
{
    lines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray all = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    std::string text(all.constData(), static_cast<size_t>(all.size()));
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);

    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}
