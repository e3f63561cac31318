/* Resource ids shared by resources.rc and the loaders. Plain C preprocessor
   only: windres reads this file too. Bitmaps 101..106 use their own numbers
   and need no name here. */
#ifndef KIVO_PLATFORM_WIN32_RESOURCE_IDS_H_
#define KIVO_PLATFORM_WIN32_RESOURCE_IDS_H_

#define IDI_APP 1
#define IDB_LOGO 201
#define IDR_SEARCH_FRAME_GIF 202
#define IDC_HAND_POINTER 203
#define IDR_ABOUT_LOGO_GIF 204

#endif
