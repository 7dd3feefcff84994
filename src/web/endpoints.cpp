// PLACEHOLDER until the web layer lands: defaults only.
#include "web/endpoints.h"

namespace quarlink {

Endpoints parseEndpoints(std::string_view) { return Endpoints{}; }
Endpoints loadEndpoints(const std::filesystem::path&) { return Endpoints{}; }

}  // namespace quarlink
