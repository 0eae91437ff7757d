#ifndef VANTIX_SAMPLEAPP_H
#define VANTIX_SAMPLEAPP_H

#define IDI_SAMPLE 1
#define IDS_TITLE 1

#endif
