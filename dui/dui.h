// The DirectUI library stand-in: everything a skinned window needs.
#pragma once

#include "dui/button.h"
#include "dui/container.h"
#include "dui/dialog_builder.h"
#include "dui/dui_string.h"
#include "dui/label.h"
#include "dui/lifetime.h"
#include "dui/notify.h"
#include "dui/paint_manager.h"
#include "dui/progress.h"
#include "dui/window_impl_base.h"
#include "dui/window_wnd.h"
