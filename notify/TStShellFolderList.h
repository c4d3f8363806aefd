#pragma once
#include "notify/TStShellFolder.h"
#include "notify/TStShellItemList.h"

// The folders of a view (the tree's `Folders`): owned, referred to by index.
class TStShellFolderList : public TStOwningList<TStShellFolder> {};
