#pragma once
// Sending from a data window: what one send of the send command came to, and the UDP send.
// The command itself is TFrmData::Button11Click, its one send by kind TFrmData::SendString.

class QByteArray;
class TNMUDP;

// What one SendString came to.
enum class TSendOutcome {
    // Handed to the socket whole (a TCP Server window hands nothing over, and counts it).
    Sent,
    // A TCP link found down before any byte of this send went out.
    NotConnected,
    // The link went down, or the window went away, while the send was under way.
    Stopped,
};

// The bytes as one datagram to the component's remote host and port, through an in-memory
// stream. Raises the component's UDPSockError; the stream goes either way.
void SendUdpText(TNMUDP *udp, const QByteArray &bytes);
