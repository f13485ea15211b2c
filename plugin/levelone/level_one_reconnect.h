// The reconnect of the level-one connection (the Reconnect setting): notices
// a connection lost after the feed client's customer-information line,
// connects again after a back-off (1 s, doubling up to 30 s), and once the new
// connection is greeted has every watched symbol watched again. Host thread.
#pragma once

#include <cstdint>

namespace orvella {

// What the reconnect needs of the connection it keeps up.
class CReconnectLink {
  public:
    // The customer-information line came on the current connection.
    virtual bool Greeted() const = 0;
    // A connection is open or under way.
    virtual bool LinkUp() const = 0;
    // The socket is closed or its connect failed.
    virtual bool ConnectionGone() const = 0;
    // Forgets the greeting and the connection, for a new one.
    virtual void ForgetConnection() = 0;
    // Starts a connect unless one is up.
    virtual void StartConnect() = 0;
    // Takes the connection down when it failed before its greeting.
    virtual void NoteFailedConnect() = 0;
    // Closes a connection that was never greeted.
    virtual void DropConnection() = 0;
    // Sends one watch per watched symbol.
    virtual void WatchAll() = 0;

  protected:
    ~CReconnectLink() = default;
};

class CLevelOneReconnect {
  public:
    // Back-off of the reconnect: the first wait and the longest.
    static constexpr uint32_t kFirstRetryMs = 1000;
    static constexpr uint32_t kLongestRetryMs = 30000;
    // Steps a new connection may wait for the customer-information line.
    static constexpr int kGreetingSteps = 30;

    explicit CLevelOneReconnect(CReconnectLink& link) : m_link(link) {}

    CLevelOneReconnect(const CLevelOneReconnect&) = delete;
    CLevelOneReconnect& operator=(const CLevelOneReconnect&) = delete;

    // The reconnect is on and has work to do: the connection was lost after
    // its greeting, or a new one is awaited.
    bool Active() const;

    // One step; true once the new connection's customer-information line has
    // come and the watches were sent.
    bool Step();

  private:
    enum class CPhase { kNone, kWaiting, kConnecting };
    void Schedule();

    CReconnectLink& m_link;
    CPhase m_ePhase = CPhase::kNone;
    uint32_t m_nRetryMs = kFirstRetryMs;
    uint32_t m_nRetryAt = 0;
    int m_nAttempts = 0;
    int m_nGreetingSteps = 0;
};

}  // namespace orvella
