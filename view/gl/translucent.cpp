// Translucent triangles, back to front. Not drawn yet: the opaque passes
// leave them out, so they are simply missing from the picture.
#include "view/opengl.h"

void VIEW_OpenGL::drawTranslucent(MDL_Camera*) {}
