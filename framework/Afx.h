#pragma once

// The application framework: windows, dialogs with data exchange, message
// maps, controls, GDI and menu owners, and the application object.

#include "framework/AfxString.h"
#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Gdi.h"
#include "framework/Geometry.h"
#include "framework/ImageList.h"
#include "framework/Menu.h"
#include "framework/MessageMap.h"
#include "framework/Wnd.h"
