// placeholder until the solver lands
#include "eigcab.hpp"
