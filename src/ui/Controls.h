// All control models at once, for the owners (the main control and its pages) that hold many of
// them side by side.
#pragma once

#include "ui/Button.h"
#include "ui/ComboBox.h"
#include "ui/Control.h"
#include "ui/Event.h"
#include "ui/Grid.h"
#include "ui/Label.h"
#include "ui/ListView.h"
#include "ui/PopupMenu.h"
#include "ui/ScrolledWindow.h"
#include "ui/Slider.h"
#include "ui/TabStrip.h"
#include "ui/TextBox.h"
#include "ui/Timer.h"
#include "ui/TreeView.h"
