#include "fleet/links/jetstream_link.h"

#include "reader/record/event_time.h"


namespace Fleet {

namespace {

constexpr int kWriteBufferBytes = 1 << 20;
constexpr int kMaxOutstanding = 256;
// Repeats of a message id within this window are dropped by the stream; a restarted
// exporter re-sends its last batch only while it is well inside it.

// The message is the one handed to the library, so its address says which it was
// without reading its headers back.
void OnAck(jsCtx*, natsMsg* msg, jsPubAck* pa, jsPubAckErr* pae, void* closure) {
  auto* book = static_cast<AckBook*>(closure);
  {
    std::lock_guard<std::mutex> guard(book->lock);
    const auto found = book->positionOfMessage.find(msg);
    if (found != book->positionOfMessage.end() && pa != nullptr) book->acked[found->second] = 1;
    if (pae != nullptr && book->firstError.empty())
      book->firstError = pae->ErrText ? pae->ErrText : natsStatus_GetText(pae->Err);
  }
  natsMsg_Destroy(msg);
}

}  // namespace

std::string NatsError(natsStatus status) {
  const char* last = nats_GetLastError(nullptr);
  std::string text = natsStatus_GetText(status);
  if (last != nullptr && *last != '\0' && text != last) text += " (" + std::string(last) + ")";
  return text;
}

JetStreamLink::~JetStreamLink() { Close(); }

JetStreamLink::JetStreamLink() : book_(std::make_unique<AckBook>()) {}

void JetStreamLink::Close() {
  jsCtx_Destroy(asyncJs_);
  asyncJs_ = nullptr;
  jsCtx_Destroy(js_);
  js_ = nullptr;
  natsConnection_Destroy(conn_);
  conn_ = nullptr;
}

bool JetStreamLink::Connected() const {
  return conn_ != nullptr && natsConnection_Status(conn_) == NATS_CONN_STATUS_CONNECTED;
}

bool JetStreamLink::Connect(const NatsSettings& settings, std::string* error) {
  Close();
  waitMs_ = settings.requestWaitMs;
  natsOptions* opts = nullptr;
  natsStatus s = natsOptions_Create(&opts);
  std::vector<const char*> urls;
  for (const std::string& url : settings.servers) urls.push_back(url.c_str());
  if (s == NATS_OK) s = natsOptions_SetServers(opts, urls.data(), static_cast<int>(urls.size()));
  if (s == NATS_OK) s = natsOptions_SetTimeout(opts, 2000);
  if (s == NATS_OK) s = natsOptions_SetMaxReconnect(opts, -1);
  if (s == NATS_OK) s = natsOptions_SetReconnectWait(opts, 250);
  if (s == NATS_OK) s = natsOptions_SetReconnectBufSize(opts, 64 * 1024 * 1024);
  // A whole window of messages fits the write buffer: the library's flushing thread
  // sends it in a few large writes, where with its 32 KiB default the publishing
  // thread stopped to write every 32 KiB itself, each write a round trip through the
  // Wine server under Wine.
  if (s == NATS_OK) s = natsOptions_SetIOBufSize(opts, kWriteBufferBytes);
  if (s == NATS_OK && !settings.user.empty())
    s = natsOptions_SetUserInfo(opts, settings.user.c_str(), settings.password.c_str());
  if (s == NATS_OK && !settings.tlsCa.empty()) {
    s = natsOptions_SetSecure(opts, true);
    if (s == NATS_OK) s = natsOptions_LoadCATrustedCertificates(opts, settings.tlsCa.c_str());
  }
  if (s == NATS_OK && !settings.tlsCert.empty())
    s = natsOptions_LoadCertificatesChain(opts, settings.tlsCert.c_str(), settings.tlsKey.c_str());
  if (s == NATS_OK) s = natsConnection_Connect(&conn_, opts);
  natsOptions_Destroy(opts);
  jsOptions jsOpts;
  if (s == NATS_OK) s = jsOptions_Init(&jsOpts);
  jsOpts.Wait = waitMs_;
  jsOpts.PublishAsync.MaxPending = kMaxOutstanding;
  if (s == NATS_OK) s = natsConnection_JetStream(&js_, conn_, &jsOpts);
  // A second context whose acknowledgements land in the book, for PublishAll.
  jsOpts.PublishAsync.AckHandler = OnAck;
  jsOpts.PublishAsync.AckHandlerClosure = book_.get();
  if (s == NATS_OK) s = natsConnection_JetStream(&asyncJs_, conn_, &jsOpts);
  if (s != NATS_OK) {
    *error = NatsError(s);
    Close();
    return false;
  }
  return true;
}

bool JetStreamLink::CheckStream(std::string* error) {
  jsStreamInfo* info = nullptr;
  jsErrCode code = static_cast<jsErrCode>(0);
  const natsStatus s = js_GetStreamInfo(&info, js_, kStreamName, nullptr, &code);
  jsStreamInfo_Destroy(info);
  if (s == NATS_NOT_FOUND)
    return *error = std::string("the stream ") + kStreamName +
                    " does not exist: an operator makes it once with brumevale fleet setup",
           false;
  if (s != NATS_OK) return *error = "JetStream not available: " + NatsError(s), false;
  return true;
}

// Asked of the stream's direct get in the form that names the subject in the
// request's own subject ($JS.API.DIRECT.GET.BRUMEVALE.<subject>, which the library's
// call does not use): a machine's permissions can then allow it the last messages of
// its own subjects and of no other.
bool JetStreamLink::LastMessage(const std::string& subject, std::optional<StoredMessage>* out,
                                std::string* error) {
  out->reset();
  natsMsg* reply = nullptr;
  const std::string api = std::string("$JS.API.DIRECT.GET.") + kStreamName + "." + subject;
  const natsStatus s = natsConnection_Request(&reply, conn_, api.c_str(), "", 0, waitMs_);
  if (s != NATS_OK) return *error = "cannot read the stream: " + NatsError(s), false;
  const char* status = nullptr;
  const char* stamp = nullptr;
  bool ok = true;
  if (natsMsgHeader_Get(reply, "Status", &status) == NATS_OK) {
    const char* description = nullptr;
    natsMsgHeader_Get(reply, "Description", &description);
    ok = std::string(status) == "404";  // nothing on the subject yet
    if (!ok) *error = "cannot read the stream: " + std::string(status) + " " + (description ? description : "");
  } else {
    int64_t seconds = 0;
    std::string text = natsMsgHeader_Get(reply, "Nats-Time-Stamp", &stamp) == NATS_OK ? stamp : "";
    if (text.size() >= 19) text[10] = ' ';
    Reader::LocalSeconds(text.substr(0, 19), &seconds);
    *out = StoredMessage{std::string(natsMsg_GetData(reply), natsMsg_GetDataLength(reply)), seconds * 1000000000};
  }
  natsMsg_Destroy(reply);
  return ok;
}

size_t JetStreamLink::PublishAll(const std::vector<Outgoing>& messages, std::string* error) {
  BeginPublish(messages, error);
  return FinishPublish(messages, error);
}

bool JetStreamLink::BeginPublish(const std::vector<Outgoing>& messages, std::string* error) {
  std::vector<natsMsg*> built(messages.size(), nullptr);
  natsStatus s = NATS_OK;
  for (size_t i = 0; s == NATS_OK && i < messages.size(); ++i) {
    const Outgoing& out = messages[i];
    s = natsMsg_Create(&built[i], out.subject.c_str(), nullptr, out.data.data(), static_cast<int>(out.data.size()));
    if (s == NATS_OK) s = natsMsgHeader_Set(built[i], "Nats-Msg-Id", out.msgId.c_str());
  }
  // Noted before the library has them: an acknowledgement may come at once.
  WithBook([&] {
    book_->positionOfMessage.clear();
    for (size_t i = 0; i < built.size(); ++i)
      if (built[i] != nullptr) book_->positionOfMessage[built[i]] = i;
    book_->acked.assign(messages.size(), 0);
    book_->firstError.clear();
  });
  jsPubOptions pub;
  jsPubOptions_Init(&pub);
  pub.MaxWait = waitMs_;
  for (size_t i = 0; s == NATS_OK && i < built.size(); ++i) s = js_PublishMsgAsync(asyncJs_, &built[i], &pub);
  // What the library did not take (null once it owns one) is still ours.
  WithBook([&] {
    for (natsMsg* left : built)
      if (left != nullptr) book_->positionOfMessage.erase(left);
  });
  for (natsMsg* left : built) natsMsg_Destroy(left);
  sendStatus_ = s;
  if (s != NATS_OK) *error = NatsError(s);
  return s == NATS_OK;
}

size_t JetStreamLink::FinishPublish(const std::vector<Outgoing>& messages, std::string* error) {
  jsPubOptions wait;
  jsPubOptions_Init(&wait);
  wait.MaxWait = waitMs_ + 1000;
  const natsStatus done = js_PublishAsyncComplete(asyncJs_, &wait);
  if (done != NATS_OK) {
    // Left without an answer: give them up, the caller sends them again.
    natsMsgList pending{};
    if (js_PublishAsyncGetPendingList(&pending, asyncJs_) == NATS_OK) natsMsgList_Destroy(&pending);
  }
  std::lock_guard<std::mutex> guard(book_->lock);
  size_t count = 0;
  while (count < messages.size() && book_->acked[count]) ++count;
  if (count < messages.size()) {
    *error = sendStatus_ != NATS_OK ? NatsError(sendStatus_) : !book_->firstError.empty() ? book_->firstError
                                                                                        : NatsError(done);
  }
  return count;
}

bool JetStreamLink::PublishPlain(const std::vector<Outgoing>& messages, std::string* error) {
  natsStatus s = NATS_OK;
  for (size_t i = 0; s == NATS_OK && i < messages.size(); ++i)
    s = js_PublishAsync(js_, messages[i].subject.c_str(), messages[i].data.data(),
                        static_cast<int>(messages[i].data.size()), nullptr);
  jsPubOptions wait;
  jsPubOptions_Init(&wait);
  wait.MaxWait = waitMs_;
  if (s == NATS_OK) s = js_PublishAsyncComplete(js_, &wait);
  if (s != NATS_OK) *error = NatsError(s);
  return s == NATS_OK;
}

}  // namespace Fleet
