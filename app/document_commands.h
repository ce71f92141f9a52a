// The commands a test window's document answers, by command id.
#pragma once

namespace DocumentCommand {

enum : unsigned {
    kConnectListener = 32771,
    kDisconnectListener = 32772,
    kConfigureListener = 32773,
    kShowListenerStatistics = 32774,
    kCreateLogFile = 32786,
    kCloseLogFile = 32787,
    kFileLogNone = 32782,
    kFileLogAll = 32785,
    kConnectSource = 32795,
    kDisconnectSource = 32796,
    kFakeSchedule0 = 32800,
    kFakeSchedule6 = 32806,
    kIncreaseSVs = 32815,
    kDecreaseSVs = 32816,
    kPauseFakeCmrs = 32819,
    kUseRtcmDecoder = 32821,
    kRadioPipes = 32823,
    kConnectNmeaListener = 32825,
    kLogUnknownData = 32826,
    kPositionWindow = 32828,
    kGetProductId = 32849,
    kShowRadioState = 32851,
    kToggleAtsDecoding = 32853,
    kDisabled32859 = 32859,
    kEnabled32864 = 32864,
    kNmeaOutputToListener = 32868,
};

}  // namespace DocumentCommand
