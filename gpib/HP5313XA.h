// Instrument driver of the HP 53131A and HP 53132A universal counters, over VISA.
//
// Every operation takes the session that hp5313xa_init opened (init takes the resource name,
// "GPIB::3" for instance) and returns a VISA status: 0 on success, a positive warning, or a
// negative error. An argument out of range gives VI_ERROR_PARAMETERn, n being its position (the
// session is 1), and nothing is sent. Each command operation sends one SCPI text, with nothing
// appended and END on its last byte, then takes the instrument's next error with ":SYST:ERR?":
// an instrument error gives hp5313xa_ERROR_INSTRUMENT_ERROR. hp5313xa_errorMessage gives the text
// of any status. The driver keeps nothing between calls but what it attaches to the session; a
// caller that shares a session between threads serialises its calls itself.
#pragma once

#include <cstddef>

#include "gpib/pilote_visa.h"

// The counter's own status codes.
constexpr ViStatus hp5313xa_ERROR_INSTRUMENT_ERROR = static_cast<ViStatus>(0xBFFC0804u);
constexpr ViStatus hp5313xa_ERROR_LIMITS = static_cast<ViStatus>(0xBFFC0805u);

// Status texts of the counter's own codes, in table order, ended by a null text.
extern const PaireStatutTexte hp5313xa_stringValPair[];

// What the driver attaches to a session (VI_ATTR_USER_DATA); the session owns it.
struct hp5313xa_statusDataRanges {
    ViInt16 triggerMode;
    ViInt16 val2;
    ViInt16 val3;
    ViChar instrDriverRevision[256];
};

// ---- session --------------------------------------------------------------------------------
// model: 1 = 53131A, 2 = 53132A (the identity expected by the identity query).
ViStatus hp5313xa_init(const ViChar resourceName[], ViBoolean idQuery, ViBoolean resetDevice,
                       ViInt16 model, ViSession *vi);
// "*RST", then the default set-up.
ViStatus hp5313xa_reset(ViSession vi);
ViStatus hp5313xa_close(ViSession vi);
// The text of `code` into `message` (256 characters): VISA's, else the counter's table's, else
// "Unknown Error 0x%08lX" with VI_WARN_UNKNOWN_STATUS.
ViStatus hp5313xa_errorMessage(ViSession vi, ViStatus code, ViChar message[]);

// ---- utility ------------------------------------------------------------------------------
// Texts handed back are cut to `taille` bytes (terminator included).
ViStatus hp5313xa_writeInstrData(ViSession vi, const ViChar writeBuffer[]);
ViStatus hp5313xa_readInstrData(ViSession vi, ViInt16 numberBytesToRead, ViChar readBuffer[],
                                ViInt32 *numBytesRead);
ViStatus hp5313xa_selfTest(ViSession vi, ViInt16 *selfTestResult, ViChar selfTestMessage[],
                           std::size_t taille = kTailleTextePilote);
ViStatus hp5313xa_errorQuery(ViSession vi, ViInt16 *errorCode, ViChar errorMessage[],
                             std::size_t taille = kTailleTextePilote);
ViStatus hp5313xa_revisionQuery(ViSession vi, ViChar driverRev[], ViChar instrRev[],
                                std::size_t taille = kTailleTextePilote);
ViStatus hp5313xa_readToFile(ViSession vi, const ViChar filename[], ViUInt32 readBytes,
                             ViUInt32 *retCount);
ViStatus hp5313xa_writeFromFile(ViSession vi, const ViChar filename[], ViUInt32 writeBytes,
                                ViUInt32 *retCount);
ViStatus hp5313xa_poll(ViSession vi, ViUInt16 *statusByte);
ViStatus hp5313xa_set_timeout(ViSession vi, ViInt32 millisecondes);

// ---- input and trigger ----------------------------------------------------------------------
// channel 1..2; coupling 0 AC, 1 DC; impedance 0 50 ohm, 1 1 Mohm; attenuation 0 x1, 1 x10;
// filter 0 off, 1 on.
ViStatus hp5313xa_inputCond(ViSession vi, ViInt16 channel, ViBoolean coupling, ViBoolean impedance,
                            ViBoolean attenuation, ViBoolean filter);
// levelMode 0: automatic level, `level` in percent (0..100 after truncation); 1: absolute level in
// volts (-5.125..5.125, or -51.25..51.25 with attenuation 1). slope 0 negative, 1 positive;
// hysteresis 0..2 (0, 50, 100 %).
ViStatus hp5313xa_trigSens(ViSession vi, ViInt16 channel, ViBoolean levelMode, ViReal64 level,
                           ViBoolean attenuation, ViBoolean slope, ViInt16 hysteresis);

// ---- measurement functions ----------------------------------------------------------------
// Limit values: 0, or 1e-13..9.999999e12 in magnitude. Gate times: 0.001..0.00999 or 0.01..1000 s.
ViStatus hp5313xa_limit(ViSession vi, ViBoolean limitTest, ViBoolean autoInit, ViBoolean display,
                        ViReal64 lowerLimit, ViReal64 upperLimit);
ViStatus hp5313xa_math(ViSession vi, ViBoolean math, ViReal64 scale, ViReal64 offset);
// operation 1 saves into register 1..20, 0 recalls register 0..20.
ViStatus hp5313xa_savRecSet(ViSession vi, ViBoolean operation, ViInt16 reg);
// function 1..6: FREQ 1, FREQ 2, FREQ 3, FREQ:RAT 1,2, FREQ:RAT 1,3, PER 1; arming 0 auto,
// 1 digits (value = digits 3..15), 2 gate time (value), 3 external (startSlope, stopSource 0
// external negative, 1 external positive, 2 gate time, 3 immediate).
ViStatus hp5313xa_freqPeriodRatio(ViSession vi, ViInt16 function, ViInt16 arming, ViReal64 value,
                                  ViBoolean startSlope, ViInt16 stopSource);
ViStatus hp5313xa_phase(ViSession vi, ViBoolean externalArming, ViBoolean slope);
// arming 0 immediate, 1 gate time, 2 external (stopSource 0..2 as above).
ViStatus hp5313xa_totalize(ViSession vi, ViInt16 arming, ViReal64 gateTime, ViBoolean startSlope,
                           ViInt16 stopSource);
// function 0..4: rise time, fall time, positive width, negative width, duty cycle.
ViStatus hp5313xa_timWidDuty(ViSession vi, ViInt16 function, ViBoolean externalArming,
                             ViBoolean slope);
// feed 0: event 2 from input 2, 1: from input 1.
ViStatus hp5313xa_timeInterval(ViSession vi, ViBoolean externalStart, ViBoolean startSlope,
                               ViBoolean timedStop, ViReal64 gateTime, ViBoolean feed);
// display 0: limit block; 1..4: statistics (standard deviation, mean, maximum, minimum).
ViStatus hp5313xa_confblock(ViSession vi, ViBoolean statistics, ViInt32 count,
                            ViBoolean limitFilter, ViInt16 display, ViReal64 lowerBound,
                            ViReal64 upperBound);

// ---- control, service requests, results -----------------------------------------------------
// 0 ":init", 1 ":init:cont on", 2 "init:cont off", 3 "abor".
ViStatus hp5313xa_strStpMeas(ViSession vi, ViInt16 selector);
ViStatus hp5313xa_initReg(ViSession vi);
// 0 operation complete, 1 questionable data bit 10, 2 end of measuring (operation bit 8).
ViStatus hp5313xa_setSrqCond(ViSession vi, ViInt16 condition);
ViStatus hp5313xa_confFunc(ViSession vi, ViInt16 function);  // 0..22
ViStatus hp5313xa_initMeas(ViSession vi);
ViStatus hp5313xa_postProcess(ViSession vi, ViInt16 selector);  // 0..2
ViStatus hp5313xa_enaDisSet(ViSession vi, ViBoolean limitTest, ViBoolean math,
                            ViBoolean limitFilter, ViBoolean statistics);
// Waits for the service request (status byte bit 6), at most the session's time-out.
ViStatus hp5313xa_waitSrq(ViSession vi);
// kind 0 ":meas:", 1 ":read:", 2 ":fetch:"; waits for the reply at most the session's time-out.
ViStatus hp5313xa_queryMeas(ViSession vi, ViInt16 function, ViInt16 kind, ViReal64 *result);
ViStatus hp5313xa_dataRes(ViSession vi, ViReal64 *result);
ViStatus hp5313xa_mathRes(ViSession vi, ViReal64 *result);
ViStatus hp5313xa_limitRes(ViSession vi, ViInt16 *fail, ViInt16 *failCount, ViInt16 *passCount,
                           ViInt16 *lowerFailCount, ViInt16 *upperFailCount);
ViStatus hp5313xa_statisticsRes(ViSession vi, ViReal64 *mean, ViReal64 *standardDeviation,
                                ViReal64 *maximum, ViReal64 *minimum);
ViStatus hp5313xa_queryChan3(ViSession vi, ViUInt16 *coupling, ViUInt16 *impedance);

// ---- inside the driver (declared for its tests) -----------------------------------------------
ViStatus hp5313xa_defaultInstrSetup(ViSession vi);
ViStatus hp5313xa_initCleanUp(ViSession rm, ViSession *vi, ViStatus statut);
// ":SYST:ERR?": the status of its read, or hp5313xa_ERROR_INSTRUMENT_ERROR for a non-zero code.
ViStatus hp5313xa_get_error(ViSession vi);
// Argument checks: VI_TRUE when the value is invalid (bounds included; not a number is invalid).
ViBoolean hp5313xa_invalidViBooleanRange(ViBoolean val);
ViBoolean hp5313xa_invalidViInt16Range(ViInt16 val, ViInt16 min, ViInt16 max);
ViBoolean hp5313xa_invalidViInt32Range(ViInt32 val, ViInt32 min, ViInt32 max);
ViBoolean hp5313xa_invalidViUInt16Range(ViUInt16 val, ViUInt16 min, ViUInt16 max);
ViBoolean hp5313xa_invalidViUInt32Range(ViUInt32 val, ViUInt32 min, ViUInt32 max);
ViBoolean hp5313xa_invalidViReal32Range(ViReal32 val, ViReal32 min, ViReal32 max);
ViBoolean hp5313xa_invalidViReal64Range(ViReal64 val, ViReal64 min, ViReal64 max);
