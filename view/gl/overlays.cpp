// The scene's 2-D overlays (text, images, polylines), in the overlay
// projection set up by the viewport pass. Not drawn yet.
#include "view/opengl.h"

void VIEW_OpenGL::drawOverlays(Scene*, FontRecord*) {}
