#pragma once
#include <QTemporaryDir>
#include <filesystem>

namespace quarlink::test {

inline std::filesystem::path pathOf(const QTemporaryDir& dir) { return dir.path().toStdString(); }

}  // namespace quarlink::test
