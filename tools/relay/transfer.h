#pragma once

struct RelayReply;
class QTcpSocket;

// Answers on the socket itself, byte by byte, where Qt HTTP Server could neither stall nor cut
// a body: after the reply's delay, the head at once, then the body from memory or from its file
// as the socket drains (a file that cannot be opened answers 404). A stalling reply sends
// nothing; `closeMidBody` announces the full length, sends half the body and closes;
// `dribbleMs` sends a body from memory one byte at a time. `head`
// sends the head alone; `closeAfter` closes the connection once the bytes are out.
void deliver(QTcpSocket *socket, const RelayReply &reply, bool head, bool closeAfter);
