#pragma once
#include <QDialog>

class QLineEdit;

namespace quarlink {

namespace about_text {
inline constexpr const char* kTitle = "バージョン情報 Quarlink";
inline constexpr const char* kVersion = "Quarlink Version " QUARLINK_VERSION;
inline constexpr const char* kMaker = "Quarlink Project";
inline constexpr const char* kMakerAddress = "https://quarlink.example.org/";
inline constexpr const char* kDownloadAddress = "https://quarlink.example.org/download/";
}  // namespace about_text

// The about box: version, maker and where to get the latest version.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    QLineEdit* makerAddressField() const { return makerAddress_; }
    QLineEdit* downloadAddressField() const { return downloadAddress_; }

private:
    QLineEdit* makerAddress_;
    QLineEdit* downloadAddress_;
};

}  // namespace quarlink
