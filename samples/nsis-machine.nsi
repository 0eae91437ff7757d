; Per-machine sample: 32-bit Program Files, key in HKLM's 32-bit view.
!define SAMPLE_NAME "Vantix Sample (per-machine)"
!define SAMPLE_KEY "VantixSampleMachine"
!define SAMPLE_ROOT HKLM
!define SAMPLE_DIR "$PROGRAMFILES32\Vantix Sample"
!define SAMPLE_LEVEL admin
!include "sample.nsh"
