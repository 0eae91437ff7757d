; Per-user sample: no elevation, files and key in the user's own profile.
!define SAMPLE_NAME "Vantix Sample (per-user)"
!define SAMPLE_KEY "VantixSampleUser"
!define SAMPLE_ROOT HKCU
!define SAMPLE_DIR "$LOCALAPPDATA\Vantix Sample User"
!define SAMPLE_LEVEL user
!include "sample.nsh"
