// Instrument driver of the HP 34401A digital multimeter, over VISA.
//
// Every operation takes the session that hp34401a_init opened and returns a VISA status: 0 on
// success, a positive warning, or a negative error. An argument out of range, or a text too
// long, gives VI_ERROR_PARAMETERn, n being its position (the session is 1), and nothing is sent;
// so does a number that cannot be written into its command. Commands end with "\r\n" (but the
// identity query), go out in one write with END on the last byte, and most are followed by the
// status check "*ESR?" (hp34401a_checkInstrStatus). A reply that cannot be read gives
// VI_ERROR_INTERPRETING_RESPONSE. hp34401a_errorMessage gives the text of any status.
#pragma once

#include <cstddef>

#include "gpib/pilote_visa.h"

// The multimeter's own status codes.
constexpr ViStatus hp34401a_ERROR_SECURITY_CODE = static_cast<ViStatus>(0xBFFC0802u);
constexpr ViStatus hp34401a_ERROR_STAMP = static_cast<ViStatus>(0xBFFC0805u);
constexpr ViStatus hp34401a_ERROR_DATA_RANGE = static_cast<ViStatus>(0xBFFC0806u);

extern const PaireStatutTexte hp34401a_stringValPair[];

// ---- session --------------------------------------------------------------------------------
ViStatus hp34401a_init(const ViChar resourceName[], ViBoolean idQuery, ViBoolean resetDevice,
                       ViSession *vi);
// "*CLS\r\n", then the session's time-out back to 10000 ms.
ViStatus hp34401a_reset(ViSession vi);
ViStatus hp34401a_close(ViSession vi);
ViStatus hp34401a_errorMessage(ViSession vi, ViStatus code, ViChar message[]);

// ---- utility ------------------------------------------------------------------------------
ViStatus hp34401a_writeInstrData(ViSession vi, const ViChar writeBuffer[]);
ViStatus hp34401a_readInstrData(ViSession vi, ViInt16 numberBytesToRead, ViChar readBuffer[],
                                ViInt32 *numBytesRead);
ViStatus hp34401a_selfTest(ViSession vi, ViInt16 *selfTestResult, ViChar selfTestMessage[],
                           std::size_t taille = kTailleTextePilote);
ViStatus hp34401a_errorQuery(ViSession vi, ViInt32 *errorCode, ViChar errorMessage[],
                             std::size_t taille = kTailleTextePilote);
ViStatus hp34401a_revisionQuery(ViSession vi, ViChar driverRev[], ViChar instrRev[],
                                std::size_t taille = kTailleTextePilote);
ViStatus hp34401a_readToFile(ViSession vi, const ViChar filename[], ViUInt32 readBytes,
                             ViUInt32 *retCount);
ViStatus hp34401a_writeFromFile(ViSession vi, const ViChar filename[], ViUInt32 writeBytes,
                                ViUInt32 *retCount);

// ---- measurement configuration and triggering ----------------------------------------------
// function 0..10: VOLT:AC, VOLT, VOLT:RAT, CURR:AC, CURR, RES, FRES, FREQ, PER, CONT, DIOD;
// resolution 0 MAX, 1 DEF, 2 MIN. A manual range is checked against the function's bounds.
ViStatus hp34401a_conf(ViSession vi, ViInt16 function, ViBoolean autoRange, ViReal64 range,
                       ViInt16 resolution);
// source 0 IMM, 1 EXT, 2 BUS; delay 0..3600 s; counts 1..50000.
ViStatus hp34401a_confTrig(ViSession vi, ViInt16 triggerSource, ViBoolean autoDelay,
                           ViReal64 triggerDelay, ViInt32 triggerCount, ViInt32 sampleCount);
ViStatus hp34401a_confAperTime(ViSession vi, ViInt16 function, ViReal64 apertureTime);
ViStatus hp34401a_confIntegratTime(ViSession vi, ViInt16 function, ViReal64 integrationTime);
// autoZero 0 OFF, 1 ON, 2 ONCE; AC filter 3..200 Hz.
ViStatus hp34401a_confMisc(ViSession vi, ViInt16 autoZero, ViReal64 acFilter,
                           ViBoolean autoImpedance);
ViStatus hp34401a_waitForTrigger(ViSession vi);
ViStatus hp34401a_softTrig(ViSession vi);
ViStatus hp34401a_abortMeas(ViSession vi);
ViStatus hp34401a_singleMeas(ViSession vi, ViReal64 *reading);
// The readings of trigger count x sample count, into `readings` of `capacite` values. The count
// is stored before any reading is taken; more readings than `capacite` (or than 32767) are
// refused with the code of `readings`' position, and a count below 1 with
// VI_ERROR_INTERPRETING_RESPONSE, before the measurement is started and without storing the
// count. The readings are one read of 256 bytes: a reply longer than that is read off to its
// end and dropped, and the readings it did not bring give VI_ERROR_INTERPRETING_RESPONSE. The
// time-out (ms) becomes the session's.
ViStatus hp34401a_multiMeas(ViSession vi, ViInt16 timeout, ViInt16 *readingCount,
                            ViReal64 readings[], ViInt32 capacite);
ViStatus hp34401a_fetchMeas(ViSession vi, ViInt16 *readingCount, ViReal64 readings[],
                            ViInt16 timeout, ViInt32 capacite);

// ---- math, display, checks, calibration ---------------------------------------------------
ViStatus hp34401a_beeper(ViSession vi, ViBoolean beeperState, ViUInt16 beepNow);
// function 0..4: NULL, AVER, DB, DBM, LIM.
ViStatus hp34401a_actMathOp(ViSession vi, ViInt16 mathFunction, ViUInt16 state);
ViStatus hp34401a_confNull(ViSession vi, ViReal64 nullOffset);
ViStatus hp34401a_confDbMeas(ViSession vi, ViReal64 dbReference);
ViStatus hp34401a_confDbmMeas(ViSession vi, ViInt16 dbmReference);
ViStatus hp34401a_confLimitTest(ViSession vi, ViReal64 upperLimit, ViReal64 lowerLimit);
// text of at most 12 characters; clear 1 clears the text (which is still checked).
ViStatus hp34401a_display(ViSession vi, ViUInt16 displayState, const ViChar text[],
                          ViUInt16 clear);
// terminals: 0 rear, 1 front.
ViStatus hp34401a_checkTerminals(ViSession vi, ViInt16 *terminals);
ViStatus hp34401a_checkScpiVersion(ViSession vi, ViInt16 *year, ViInt16 *revision);
ViStatus hp34401a_calSecure(ViSession vi, const ViChar securityCode[], ViBoolean securityState);
ViStatus hp34401a_calCode(ViSession vi, const ViChar newCode[]);
ViStatus hp34401a_calStamp(ViSession vi, const ViChar calibrationMessage[]);
ViStatus hp34401a_calibrate(ViSession vi, ViReal64 calibrationValue, ViInt16 *result);

// ---- inside the driver (declared for its tests) -----------------------------------------------
ViStatus hp34401a_defaultInstrSetup(ViSession vi);
ViStatus hp34401a_initCleanUp(ViSession rm, ViSession *vi, ViStatus statut);
// "*ESR?\r\n": the status of its read, or VI_ERROR_INTERPRETING_RESPONSE when the reply does
// not begin with an integer.
ViStatus hp34401a_checkInstrStatus(ViSession vi);
// The position of `text` among `table[first..last]` (letter case ignored), or
// VI_ERROR_INTERPRETING_RESPONSE with `index` unchanged.
ViStatus hp34401a_stringToInt(const ViChar *const table[], ViInt16 first, ViInt16 last,
                              const ViChar text[], ViInt16 *index);
ViBoolean hp34401a_invalidViBooleanRange(ViBoolean val);
ViBoolean hp34401a_invalidViInt16Range(ViInt16 val, ViInt16 min, ViInt16 max);
ViBoolean hp34401a_invalidViInt32Range(ViInt32 val, ViInt32 min, ViInt32 max);
ViBoolean hp34401a_invalidViUInt16Range(ViUInt16 val, ViUInt16 min, ViUInt16 max);
ViBoolean hp34401a_invalidViUInt32Range(ViUInt32 val, ViUInt32 min, ViUInt32 max);
ViBoolean hp34401a_invalidViReal32Range(ViReal32 val, ViReal32 min, ViReal32 max);
ViBoolean hp34401a_invalidViReal64Range(ViReal64 val, ViReal64 min, ViReal64 max);
