#pragma once
#include <QString>
#include <string>
#include <string_view>

#include "core/store/text_encoding.h"

namespace quarlink {

// File texts are Shift-JIS bytes; widgets show Unicode.
inline QString fromCp932(std::string_view bytes) { return QString::fromStdString(cp932ToUtf8(bytes)); }
inline std::string toCp932(const QString& text) { return utf8ToCp932(text.toStdString()); }
inline QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace quarlink
