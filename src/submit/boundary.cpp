#include "submit/boundary.h"

namespace lsmtp {

std::string choose_boundary(std::string_view wire_body) { return choose_boundary_in(wire_body); }

} // namespace lsmtp
