#include "Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the resource's initialiser in the enclosing namespace, which must be
// the global one.
static void InitTarvoResources() { Q_INIT_RESOURCE(tarvo); }

namespace tarvo {

void InitResources() { InitTarvoResources(); }

}  // namespace tarvo
