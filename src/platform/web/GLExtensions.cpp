// In the browser the frame-buffer-object functions come with the GL ES 1.1 layer over WebGL;
// there is nothing to look up.

#include "platform/GLExtensions.h"

namespace brumelo {

bool loadGLExtensions(GLProcLoader) { return true; }
bool glExtensionsLoaded() { return true; }

}  // namespace brumelo
