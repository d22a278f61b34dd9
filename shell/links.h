// Every web address, store page, contact address and maker's text the
// program shows or opens, in one place. They point at reserved example
// domains until the real ones exist.
//
// Plain string macros, so that the resource script (menu captions, about box)
// and the C++ sources use the same texts. C++ code widens them with L"".
#pragma once

#define TAVRIN_URL_DOWNLOAD_LATEST "https://www.example.com/tavrin/download"
#define TAVRIN_URL_WEBSITE "https://www.example.com/tavrin/"
#define TAVRIN_URL_FACEBOOK "https://social.example.org/tavrin"
// One literal each: Microsoft's resource compiler does not join adjacent
// string literals where the resource script expects one text.
#define TAVRIN_CONTACT_ADDRESS "support@example.com"
#define TAVRIN_MAILTO_CONTACT "mailto:support@example.com"

// The phone app's editions and their store pages, in menu order.
#define TAVRIN_STORE_IPHONE_1_CAPTION "Quillo"
#define TAVRIN_STORE_IPHONE_1_URL "https://apps.example.com/iphone/quillo"
#define TAVRIN_STORE_IPHONE_2_CAPTION "Quillo Pro"
#define TAVRIN_STORE_IPHONE_2_URL "https://apps.example.com/iphone/quillo-pro"
#define TAVRIN_STORE_IPAD_1_CAPTION "Quillo HD"
#define TAVRIN_STORE_IPAD_1_URL "https://apps.example.com/ipad/quillo-hd"
#define TAVRIN_STORE_IPAD_2_CAPTION "Quillo HD Pro"
#define TAVRIN_STORE_IPAD_2_URL "https://apps.example.com/ipad/quillo-hd-pro"
#define TAVRIN_STORE_ANDROID_1_CAPTION "Quillo"
#define TAVRIN_STORE_ANDROID_1_URL "https://play.example.org/android/quillo"
#define TAVRIN_STORE_ANDROID_2_CAPTION "Quillo Pro"
#define TAVRIN_STORE_ANDROID_2_URL "https://play.example.org/android/quillo-pro"
#define TAVRIN_STORE_ANDROID_3_CAPTION "Quillo (direct download)"
#define TAVRIN_STORE_ANDROID_3_URL "https://www.example.com/tavrin/quillo.apk"
#define TAVRIN_STORE_ANDROID_4_CAPTION "Quillo Pro (direct download)"
#define TAVRIN_STORE_ANDROID_4_URL "https://www.example.com/tavrin/quillo-pro.apk"

// The about box's notice line.
#define TAVRIN_NOTICE_LINE "Copyright (C) 2026 Tavrin"
