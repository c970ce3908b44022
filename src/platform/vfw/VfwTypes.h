#pragma once

// The capture API's types, message and status numbers and records: what the
// functions of vfw.h and the capture windows behind them share. Shaped like the
// classic desktop capture API, with its names and its 32-bit record layouts.

#include <cstddef>
#include <cstdint>

using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = std::int32_t;
using LONG = std::int32_t;
// A handle of a capture window: an opaque number, 0 means none. Never reused.
using HWND = std::uintptr_t;
// Message arguments and answers are pointer-sized: records and callbacks travel in them.
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Window styles and SetWindowPos flags understood by the capture windows.
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_NOSENDCHANGING = 0x0400;

// Messages.
inline constexpr UINT WM_USER = 0x400;
inline constexpr UINT WM_CAP_START = WM_USER;
inline constexpr UINT WM_CAP_SET_CALLBACK_STATUSA = WM_CAP_START + 3;
inline constexpr UINT WM_CAP_DRIVER_CONNECT = WM_CAP_START + 10;
inline constexpr UINT WM_CAP_DRIVER_DISCONNECT = WM_CAP_START + 11;
inline constexpr UINT WM_CAP_DRIVER_GET_NAMEA = WM_CAP_START + 12;
inline constexpr UINT WM_CAP_DRIVER_GET_VERSIONA = WM_CAP_START + 13;
inline constexpr UINT WM_CAP_DRIVER_GET_CAPS = WM_CAP_START + 14;
inline constexpr UINT WM_CAP_FILE_SET_CAPTURE_FILEA = WM_CAP_START + 20;
inline constexpr UINT WM_CAP_FILE_GET_CAPTURE_FILEA = WM_CAP_START + 21;
inline constexpr UINT WM_CAP_EDIT_COPY = WM_CAP_START + 30;
inline constexpr UINT WM_CAP_SET_AUDIOFORMAT = WM_CAP_START + 35;
inline constexpr UINT WM_CAP_GET_AUDIOFORMAT = WM_CAP_START + 36;
inline constexpr UINT WM_CAP_DLG_VIDEOFORMAT = WM_CAP_START + 41;
inline constexpr UINT WM_CAP_DLG_VIDEOSOURCE = WM_CAP_START + 42;
inline constexpr UINT WM_CAP_DLG_VIDEODISPLAY = WM_CAP_START + 43;
inline constexpr UINT WM_CAP_DLG_VIDEOCOMPRESSION = WM_CAP_START + 46;
inline constexpr UINT WM_CAP_SET_PREVIEW = WM_CAP_START + 50;
inline constexpr UINT WM_CAP_SET_OVERLAY = WM_CAP_START + 51;
inline constexpr UINT WM_CAP_SET_PREVIEWRATE = WM_CAP_START + 52;
inline constexpr UINT WM_CAP_SET_SCALE = WM_CAP_START + 53;
inline constexpr UINT WM_CAP_GET_STATUS = WM_CAP_START + 54;
inline constexpr UINT WM_CAP_SEQUENCE = WM_CAP_START + 62;
inline constexpr UINT WM_CAP_SEQUENCE_NOFILE = WM_CAP_START + 63;
inline constexpr UINT WM_CAP_SET_SEQUENCE_SETUP = WM_CAP_START + 64;
inline constexpr UINT WM_CAP_GET_SEQUENCE_SETUP = WM_CAP_START + 65;
inline constexpr UINT WM_CAP_STOP = WM_CAP_START + 68;
inline constexpr UINT WM_CAP_ABORT = WM_CAP_START + 69;
inline constexpr UINT WM_CAP_SINGLE_FRAME_OPEN = WM_CAP_START + 70;
inline constexpr UINT WM_CAP_SINGLE_FRAME_CLOSE = WM_CAP_START + 71;
inline constexpr UINT WM_CAP_SINGLE_FRAME = WM_CAP_START + 72;
inline constexpr UINT WM_CAP_END = WM_CAP_START + 100;

// Status and error numbers passed to the status callback.
inline constexpr int IDS_CAP_BEGIN = 300;
inline constexpr int IDS_CAP_END = 301;
inline constexpr int IDS_CAP_INFO = 401;
inline constexpr int IDS_CAP_OUTOFMEM = 402;
inline constexpr int IDS_CAP_FILEEXISTS = 403;
inline constexpr int IDS_CAP_CANTOPEN = 409;
inline constexpr int IDS_CAP_SEQ_MSGSTART = 410;
inline constexpr int IDS_CAP_SEQ_MSGSTOP = 411;
inline constexpr int IDS_CAP_READONLYFILE = 413;
inline constexpr int IDS_CAP_WRITEERROR = 414;
inline constexpr int IDS_CAP_NODISKSPACE = 415;
inline constexpr int IDS_CAP_DRIVER_ERROR = 418;
inline constexpr int IDS_CAP_WAVE_OPEN_ERROR = 419;
inline constexpr int IDS_CAP_VIDEO_OPEN_ERROR = 424;
inline constexpr int IDS_CAP_FILE_OPEN_ERROR = 429;
inline constexpr int IDS_CAP_FILE_WRITE_ERROR = 430;
inline constexpr int IDS_CAP_RECORDING_ERROR = 431;
inline constexpr int IDS_CAP_AVI_INIT_ERROR = 433;
inline constexpr int IDS_CAP_NO_FRAME_CAP_ERROR = 434;
inline constexpr int IDS_CAP_NO_AUDIO_CAP_ERROR = 438;
inline constexpr int IDS_CAP_COMPRESSOR_ERROR = 440;
inline constexpr int IDS_CAP_STAT_LIVE_MODE = 500;
inline constexpr int IDS_CAP_STAT_OVERLAY_MODE = 501;
inline constexpr int IDS_CAP_STAT_CAP_INIT = 502;
inline constexpr int IDS_CAP_STAT_CAP_FINI = 503;
inline constexpr int IDS_CAP_STAT_I_FRAMES = 506;
inline constexpr int IDS_CAP_STAT_L_FRAMES = 507;
inline constexpr int IDS_CAP_STAT_CAP_L_FRAMES = 508;
inline constexpr int IDS_CAP_STAT_CAP_AUDIO = 509;
inline constexpr int IDS_CAP_STAT_VIDEOCURRENT = 510;
inline constexpr int IDS_CAP_STAT_VIDEOAUDIO = 511;
inline constexpr int IDS_CAP_STAT_VIDEOONLY = 512;
inline constexpr int IDS_CAP_STAT_FRAMESDROPPED = 513;

// CAPTUREPARMS.AVStreamMaster
inline constexpr UINT AVSTREAMMASTER_AUDIO = 0;
inline constexpr UINT AVSTREAMMASTER_NONE = 1;

// WAVEFORMATEX.wFormatTag
inline constexpr WORD WAVE_FORMAT_PCM = 1;

// The records keep their classic 32-bit layouts (handles as 32-bit values), so that
// their sizes, and what the program stores from them, stay the same.
struct POINT {
    LONG x;
    LONG y;
};

struct CAPSTATUS {
    UINT uiImageWidth;
    UINT uiImageHeight;
    BOOL fLiveWindow;
    BOOL fOverlayWindow;
    BOOL fScale;
    POINT ptScroll;
    BOOL fUsingDefaultPalette;
    BOOL fAudioHardware;
    BOOL fCapFileExists;
    DWORD dwCurrentVideoFrame;
    DWORD dwCurrentVideoFramesDropped;
    DWORD dwCurrentWaveSamples;
    DWORD dwCurrentTimeElapsedMS;
    DWORD hPalCurrent;
    BOOL fCapturingNow;
    DWORD dwReturn;
    UINT wNumVideoAllocated;
    UINT wNumAudioAllocated;
};
static_assert(sizeof(CAPSTATUS) == 76);

struct CAPDRIVERCAPS {
    UINT wDeviceIndex;
    BOOL fHasOverlay;
    BOOL fHasDlgVideoSource;
    BOOL fHasDlgVideoFormat;
    BOOL fHasDlgVideoDisplay;
    BOOL fCaptureInitialized;
    BOOL fDriverSuppliesPalettes;
    DWORD hVideoIn;
    DWORD hVideoOut;
    DWORD hVideoExtIn;
    DWORD hVideoExtOut;
};
static_assert(sizeof(CAPDRIVERCAPS) == 44);

struct CAPTUREPARMS {
    DWORD dwRequestMicroSecPerFrame;
    BOOL fMakeUserHitOKToCapture;
    UINT wPercentDropForError;
    BOOL fYield;
    DWORD dwIndexSize;
    UINT wChunkGranularity;
    BOOL fUsingDOSMemory;
    UINT wNumVideoRequested;
    BOOL fCaptureAudio;
    UINT wNumAudioRequested;
    UINT vKeyAbort;
    BOOL fAbortLeftMouse;
    BOOL fAbortRightMouse;
    BOOL fLimitEnabled;
    UINT wTimeLimit;
    BOOL fMCIControl;
    BOOL fStepMCIDevice;
    DWORD dwMCIStartTime;
    DWORD dwMCIStopTime;
    BOOL fStepCaptureAt2x;
    UINT wStepCaptureAverageFrames;
    DWORD dwAudioBufferSize;
    BOOL fDisableWriteCache;
    UINT AVStreamMaster;
};
static_assert(sizeof(CAPTUREPARMS) == 96);

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// The status callback, installed with WM_CAP_SET_CALLBACK_STATUSA (lParam = the
// function's address, 0 removes it). Always called on the thread that created the
// window; `text` is valid only during the call. Its answer is ignored.
using CAPSTATUSCALLBACK = LRESULT (*)(HWND window, int statusId, const char* text);
