// Read-only inspection of a store file: printing its tree and checking its integrity.
//
// Nothing here writes the file. Where the two allocation-table copies differ (an update was
// interrupted), the copy that the next open will keep is the one inspected.
#pragma once

#include <ostream>
#include <string>

namespace korvo {

enum class InspectStatus {
    kSound = 0,     // check: no problems (notes are allowed)
    kDamaged = 1,   // check: at least one problem
    kNotStore = 2,  // not a store file, or it cannot be read
};

struct DumpOptions {
    bool data = false;  // also print SDATA texts and a hex dump of STRDATA
};

// Prints the stored tree from point 10 in pre-order, one line per point:
// two spaces per level, the point id, "0x" and the state word as %08X, the property text as
// stored, then " [SDATA n]" / " [STRDATA n]" for blocks of non-zero length.
InspectStatus DumpStore(const std::string& path, const DumpOptions& options, std::ostream& out,
                        std::ostream& err);

// Verifies the header, both table copies of every segment, every chain, the point blocks and
// their list, every point's links and every block length. Prints one line per problem
// ("problem: ...") or note ("note: ..." for what costs space but loses nothing, such as blocks
// or points left behind by an interrupted write), then a summary line.
InspectStatus CheckStore(const std::string& path, std::ostream& out);

}  // namespace korvo
