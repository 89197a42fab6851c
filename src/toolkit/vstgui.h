#pragma once
// The widget layer the editor draws with, under the toolkit's own names.
#include "toolkit/CBitmap.h"
#include "toolkit/CBundle.h"
#include "toolkit/CColor.h"
#include "toolkit/CControls.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/CGeometry.h"
#include "toolkit/CView.h"
