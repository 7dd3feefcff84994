#include "gui/jobs/source_choice.h"

#include "core/store/dialog_settings.h"
#include "core/store/folder_layout.h"
#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_key.h"

namespace quarlink {

namespace {
std::string settingKey(const char* dialog) { return std::string(dialog) + ".source"; }
}  // namespace

void addSource(QComboBox* list, SourceKind kind, const char* label) {
    list->addItem(QString::fromUtf8(label ? label : kindFacts(kind).label), int(kind));
}

void pickStartingSource(QComboBox* list, const Application& app, const char* dialog, SourceKind withoutKey) {
    int index = -1;
    if (const auto last = sourceKindFromName(dialogSetting(app, settingKey(dialog))))
        index = list->findData(int(*last));
    if (index < 0 && jquants::loadApiKey(app.workDir).ok())
        for (int i = 0; i < list->count() && index < 0; ++i)
            if (kindFacts(static_cast<SourceKind>(list->itemData(i).toInt())).needsKey) index = i;
    if (index < 0) index = list->findData(int(withoutKey));
    list->setCurrentIndex(std::max(index, 0));
}

void rememberSource(const Application& app, const char* dialog, SourceKind kind) {
    // A choice that cannot be kept costs the user only the next default.
    setDialogSetting(app, settingKey(dialog), sourceKindName(kind));
}

SourceKind chosenSource(const QComboBox* list) { return static_cast<SourceKind>(list->currentData().toInt()); }

void offerChoice(QCheckBox* box, const char* whyNot) {
    box->setEnabled(!whyNot || !*whyNot);
    box->setToolTip(box->isEnabled() ? QString() : QString::fromUtf8(whyNot));
}

bool chosen(const QCheckBox* box) { return box->isEnabled() && box->isChecked(); }

JQuantsPlan jquantsPlan(const Application& app) { return loadEndpoints(layout::endpointsFile(app)).jquantsPlan; }

}  // namespace quarlink
