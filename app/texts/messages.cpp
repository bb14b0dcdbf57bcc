#include "app/texts/messages.h"

#include "reader/rdr.h"

namespace stampwise {

int ErrorMessageId(int errorCode) {
  switch (errorCode) {
    case 3: return msg::kPortOpenFailed;
    case 4: return msg::kTimeout;
    case 5: return msg::kBlockLength;
    case 6: return msg::kWrongDataCount;
    case 8: return msg::kNoSendData;
    case 11: return msg::kNoReaderAtPort;
    case 19: return msg::kReaderStatus19;
    case 20: return msg::kWrongDataCountSent;
    case 21: return msg::kNoValidTag;
    case 23: return msg::kCollision;
    case 24: return msg::kUnknownCommand;
    case RDR_ERR_REPLY_MISFIT: return msg::kReplyMisfit;
    case RDR_ERR_BUSY: return msg::kReaderBusy;
    default: return msg::kUnknownError;
  }
}

}  // namespace stampwise
