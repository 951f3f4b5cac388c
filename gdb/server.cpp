#include "gdb/server.h"

#include <array>
#include <string>

#include "gdb/packet.h"
#include "gdb/session.h"

namespace dravlopro::gdb {

namespace {

// How long one wait for the client lasts: short while the core runs, so
// that its stop is seen soon.
constexpr std::uint32_t kIdleWaitMs = 100;
constexpr std::uint32_t kRunningWaitMs = 5;
// How long a refused client's bytes are waited for.
constexpr std::uint32_t kRefuseWaitMs = 200;

void Say(OutputSink& log, const ServeOptions& options, const std::string& text) {
  if (!options.quiet) log.Write("dravlopro-gdb: " + text + "\n");
}

// A second client gets an error reply to its first packet, then the
// connection closes. What it sent is read first, so that the close is an
// orderly one that its debugger can report, not a reset.
void Refuse(ByteStream& client, OutputSink& log, const ServeOptions& options) {
  std::array<std::uint8_t, 1024> buffer{};
  std::size_t got = 0;
  client.Receive(buffer.data(), buffer.size(), got, kRefuseWaitMs);
  const std::string reply =
      "+" + EncodePacket("E.another debugger is connected to this server; one session at a time");
  client.Send(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size());
  while (client.Receive(buffer.data(), buffer.size(), got, kRefuseWaitMs) ==
         ByteStream::Received::Data) {
  }
  Say(log, options, "refused " + client.peer() + ": a client is connected already");
}

}  // namespace

int Serve(StreamListener& listener, DebugTarget& target, OutputSink& log,
          const ServeOptions& options) {
  Say(log, options, "listening on " + listener.where());
  std::unique_ptr<ByteStream> waiting;  // came while the last client was going
  for (;;) {
    if (options.stopRequested()) return kServerStopped;
    std::unique_ptr<ByteStream> client =
        waiting ? std::move(waiting) : listener.Accept(kIdleWaitMs);
    if (!client) continue;
    Say(log, options, "client connected from " + client->peer());
    if (!target.Attach()) {
      const std::string reply = EncodePacket("E.the target does not answer");
      client->Send(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size());
      Say(log, options, "the target does not answer; client " + client->peer() + " let go");
      if (target.linkLost()) return kServerAdapterLost;
      continue;
    }
    Session session(target, [&client](std::string_view bytes) {
      return client->Send(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    });
    std::array<std::uint8_t, 4096> buffer{};
    bool stop = false;
    while (session.ended() == Session::End::None) {
      if (options.stopRequested()) {
        stop = true;
        break;
      }
      std::size_t got = 0;
      const ByteStream::Received received = client->Receive(
          buffer.data(), buffer.size(), got, session.running() ? kRunningWaitMs : kIdleWaitMs);
      if (received == ByteStream::Received::Closed || received == ByteStream::Received::Failed) {
        break;
      }
      if (received == ByteStream::Received::Data) session.Feed(buffer.data(), got);
      session.Poll();
      if (std::unique_ptr<ByteStream> other = listener.Accept(0)) {
        // A client that has just left makes way for the new one.
        const ByteStream::Received now = client->Receive(buffer.data(), buffer.size(), got, 0);
        if (now == ByteStream::Received::Closed || now == ByteStream::Received::Failed) {
          waiting = std::move(other);
          break;
        }
        if (now == ByteStream::Received::Data) session.Feed(buffer.data(), got);
        Refuse(*other, log, options);
      }
    }
    switch (session.ended()) {
      case Session::End::Detached:
        Say(log, options, "detached from " + client->peer());
        break;
      case Session::End::Killed:
        Say(log, options, "target reset at the client's request; " + client->peer() + " gone");
        break;
      case Session::End::LinkLost:
        Say(log, options, "the adapter was lost: " + session.problem());
        return kServerAdapterLost;
      case Session::End::None:
        if (stop) {
          target.RemoveAll();
          Say(log, options, "stopping: client " + client->peer() + " let go");
          break;
        }
        // Gone without a word: the breakpoints go with it, the core stays
        // as it is.
        target.RemoveAll();
        Say(log, options, "client " + client->peer() + " went away");
        break;
    }
    if (target.linkLost()) return kServerAdapterLost;
    if (stop || options.once) return kServerStopped;
  }
}

}  // namespace dravlopro::gdb
