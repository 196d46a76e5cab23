// placeholder
#include "mtxcnv.hpp"
