// Image textures for material layers. No image is uploaded yet, so every
// layer is drawn untextured in its colour.
#include "view/opengl.h"

ImageTexture* VIEW_OpenGL::getTexture(ImageSource*) { return nullptr; }
