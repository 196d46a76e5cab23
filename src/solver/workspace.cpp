// The Workspace of a caller of the reentrant eigcab and eigch, on the heap
// (the layout stays the library's: callers see an incomplete type).
#include "workspace.hpp"

namespace geneig {

// Left uninitialized: a solve writes every entry before it reads it.
WorkspacePtr make_workspace() { return WorkspacePtr(new Workspace); }

void WorkspaceDeleter::operator()(Workspace* work) const noexcept { delete work; }

}  // namespace geneig
