// geneig.hpp: every C++ interface of the geneig library, with its version
// macros. Namespace geneig; C++20.
#pragma once

#include "eigcab.hpp"
#include "mtxcnv.hpp"
#include "rdmtx.hpp"
#include "result_check.hpp"
#include "saveeig.hpp"
#include "version.h"
