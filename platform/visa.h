// VISA calls of the instrument drivers, in their usual names, on the GPIB layer.
//
// A session on "GPIB::n" or "GPIB<b>::n[::m]::INSTR" (any case) opens a device descriptor of
// platform/gpib.h on board b (0 when omitted), primary address n, secondary address m: a VISA
// session and an ibdev descriptor on one address reach one device. viOpen looks for a listener
// at the address and fails with VI_ERROR_RSRC_NFOUND when none answers.
//
// Formatted I/O: viPrintf formats into the session's write buffer, viScanf reads one whole
// reply (up to END, or the termination character when enabled) into its read buffer and scans
// it with the C scanf rules; the rest of the reply is dropped when the scan completes. The
// write buffer goes out, END with its last byte, at the end of every viPrintf with
// VI_FLUSH_ON_ACCESS, otherwise when full or when the text ends with a line feed, and before any
// read.
//
// Every session value is handed out once in a run: a closed session is refused (and so is 0).
// The calls may be made from any thread; one session's formatted calls are serialised.
#pragma once

#include <cstdarg>
#include <cstdint>

using ViStatus = std::int32_t;
using ViSession = std::uint32_t;
using ViObject = ViSession;
using ViUInt32 = std::uint32_t;
using ViInt32 = std::int32_t;
using ViUInt16 = std::uint16_t;
using ViInt16 = std::int16_t;
using ViUInt8 = std::uint8_t;
using ViBoolean = std::uint16_t;
using ViChar = char;
using ViByte = unsigned char;
using ViAttr = std::uint32_t;
using ViAttrState = std::uint64_t;  // holds a pointer (VI_ATTR_USER_DATA) on 64-bit systems
using ViAccessMode = std::uint32_t;
using ViAddr = void *;

constexpr ViSession VI_NULL = 0;
constexpr ViBoolean VI_TRUE = 1;
constexpr ViBoolean VI_FALSE = 0;

// ---- status values ------------------------------------------------------------------------
constexpr ViStatus VI_SUCCESS = 0;
constexpr ViStatus VI_SUCCESS_TERM_CHAR = 0x3FFF0005;
constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
constexpr ViStatus VI_WARN_NULL_OBJECT = 0x3FFF0082;
constexpr ViStatus VI_WARN_UNKNOWN_STATUS = 0x3FFF0085;
constexpr ViStatus VI_WARN_NSUP_BUF = 0x3FFF0088;
constexpr ViStatus VI_ERROR_SYSTEM_ERROR = static_cast<ViStatus>(0xBFFF0000u);
constexpr ViStatus VI_ERROR_INV_OBJECT = static_cast<ViStatus>(0xBFFF000Eu);
constexpr ViStatus VI_ERROR_RSRC_NFOUND = static_cast<ViStatus>(0xBFFF0011u);
constexpr ViStatus VI_ERROR_INV_RSRC_NAME = static_cast<ViStatus>(0xBFFF0012u);
constexpr ViStatus VI_ERROR_TMO = static_cast<ViStatus>(0xBFFF0015u);
constexpr ViStatus VI_ERROR_NSUP_ATTR = static_cast<ViStatus>(0xBFFF001Du);
constexpr ViStatus VI_ERROR_NSUP_ATTR_STATE = static_cast<ViStatus>(0xBFFF001Eu);
constexpr ViStatus VI_ERROR_ATTR_READONLY = static_cast<ViStatus>(0xBFFF001Fu);
constexpr ViStatus VI_ERROR_ABORT = static_cast<ViStatus>(0xBFFF0030u);
constexpr ViStatus VI_ERROR_ALLOC = static_cast<ViStatus>(0xBFFF003Cu);
constexpr ViStatus VI_ERROR_IO = static_cast<ViStatus>(0xBFFF003Eu);
constexpr ViStatus VI_ERROR_INV_FMT = static_cast<ViStatus>(0xBFFF003Fu);
constexpr ViStatus VI_ERROR_NLISTENERS = static_cast<ViStatus>(0xBFFF005Fu);
constexpr ViStatus VI_ERROR_NCIC = static_cast<ViStatus>(0xBFFF0060u);
constexpr ViStatus VI_ERROR_NSUP_OPER = static_cast<ViStatus>(0xBFFF0067u);
constexpr ViStatus VI_ERROR_INV_PARAMETER = static_cast<ViStatus>(0xBFFF0078u);

// ---- attributes ---------------------------------------------------------------------------
constexpr ViAttr VI_ATTR_RSRC_NAME = 0xBFFF0002u;            // ViChar[256], read only
constexpr ViAttr VI_ATTR_USER_DATA = 0x3FFF0007u;            // ViAddr
constexpr ViAttr VI_ATTR_SEND_END_EN = 0x3FFF0016u;          // ViBoolean, default VI_TRUE
constexpr ViAttr VI_ATTR_TERMCHAR = 0x3FFF0018u;             // ViUInt8, default '\n'
constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001Au;            // ViUInt32 ms, default 2000
constexpr ViAttr VI_ATTR_RD_BUF_OPER_MODE = 0x3FFF002Au;     // ViUInt16
constexpr ViAttr VI_ATTR_WR_BUF_OPER_MODE = 0x3FFF002Du;     // ViUInt16
constexpr ViAttr VI_ATTR_TERMCHAR_EN = 0x3FFF0038u;          // ViBoolean, default VI_FALSE
constexpr ViAttr VI_ATTR_RM_SESSION = 0x3FFF00C4u;           // ViSession, read only
constexpr ViAttr VI_ATTR_GPIB_PRIMARY_ADDR = 0x3FFF0172u;    // ViUInt16, read only
constexpr ViAttr VI_ATTR_GPIB_SECONDARY_ADDR = 0x3FFF0173u;  // ViUInt16, read only
constexpr ViAttr VI_ATTR_INTF_NUM = 0x3FFF0176u;             // ViUInt16, read only

constexpr ViUInt16 VI_FLUSH_ON_ACCESS = 1;
constexpr ViUInt16 VI_FLUSH_WHEN_FULL = 2;
constexpr ViUInt16 VI_READ_BUF = 1;
constexpr ViUInt16 VI_WRITE_BUF = 2;
constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;
constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFFu;

// ---- calls --------------------------------------------------------------------------------
ViStatus viOpenDefaultRM(ViSession *rm);
// Opens an instrument session of resource manager `rm`; on failure *vi is VI_NULL.
ViStatus viOpen(ViSession rm, const char *nom, ViAccessMode mode, ViUInt32 delaiOuverture,
                ViSession *vi);
// Closes a session; a resource manager closes its sessions with it.
ViStatus viClose(ViObject vi);
// Writes exactly `n` bytes (END with the last one while VI_ATTR_SEND_END_EN is true).
ViStatus viWrite(ViSession vi, const ViByte *octets, ViUInt32 n, ViUInt32 *ecrits);
ViStatus viWrite(ViSession vi, const char *octets, ViUInt32 n, ViUInt32 *ecrits);
// Reads at most `n` bytes: VI_SUCCESS when END ended the read, VI_SUCCESS_TERM_CHAR when the
// enabled termination character did, VI_SUCCESS_MAX_CNT when `n` bytes came first; adds no NUL.
ViStatus viRead(ViSession vi, ViByte *octets, ViUInt32 n, ViUInt32 *lus);
ViStatus viRead(ViSession vi, char *octets, ViUInt32 n, ViUInt32 *lus);
ViStatus viPrintf(ViSession vi, const char *format, ...) __attribute__((format(printf, 2, 3)));
ViStatus viVPrintf(ViSession vi, const char *format, va_list args)
    __attribute__((format(printf, 2, 0)));
ViStatus viScanf(ViSession vi, const char *format, ...) __attribute__((format(scanf, 2, 3)));
ViStatus viVScanf(ViSession vi, const char *format, va_list args)
    __attribute__((format(scanf, 2, 0)));
ViStatus viSetAttribute(ViObject vi, ViAttr attribut, ViAttrState valeur);
// Writes the attribute into *valeur with the attribute's own size (see the list above).
ViStatus viGetAttribute(ViObject vi, ViAttr attribut, void *valeur);
// Serial poll.
ViStatus viReadSTB(ViSession vi, ViUInt16 *octetEtat);
// Sizes of the formatted I/O buffers (mask VI_READ_BUF, VI_WRITE_BUF or both).
ViStatus viSetBuf(ViSession vi, ViUInt16 masque, ViUInt32 taille);
// Text of a status into `texte` (256 characters). VISA's own values get their text and
// VI_SUCCESS; any other value (an instrument driver's own, 0x3FFC.... and 0xBFFC....) gets an
// "unknown status" text and VI_WARN_UNKNOWN_STATUS, so that the driver can use its own table.
ViStatus viStatusDesc(ViObject vi, ViStatus statut, ViChar texte[]);
