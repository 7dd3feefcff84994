#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <string>

#include "core/sources/source_kind.h"
#include "core/store/application.h"
#include "core/web/jquants/jquants_plan.h"

namespace quarlink {

// Adds a kind to a source list under its label, or under `label` where the
// dialog names the source its own way.
void addSource(QComboBox* list, SourceKind kind, const char* label = nullptr);
// The source lists of the network dialogs: each opens on the source the
// dialog used last (dialogs.conf, "<dialog>.source"), else on a source that
// needs a key once one is usable, else on `withoutKey`.
void pickStartingSource(QComboBox* list, const Application& app, const char* dialog, SourceKind withoutKey);
// Called as a run starts from the list's choice.
void rememberSource(const Application& app, const char* dialog, SourceKind kind);
SourceKind chosenSource(const QComboBox* list);

// A choice the source cannot fill is disabled, with the reason as its
// tooltip (empty: offered); its tick stays for another source.
void offerChoice(QCheckBox* box, const char* whyNot);
// What a checkbox's setting is worth: nothing while it is not offered.
bool chosen(const QCheckBox* box);

// The J-Quants plan the jobs keep to (endpoints.conf, else jquants.conf).
JQuantsPlan jquantsPlan(const Application& app);

}  // namespace quarlink
