#include "acquisition/serial_port_qt.h"

#include <termios.h>

#include <QMetaObject>
#include <QSerialPort>

#include "common/error.h"
#include "common/text.h"

namespace vireluz {

ComPort1::ComPort1() : port_(std::make_unique<QSerialPort>()) {
  block_.reserve(kReadBufferSize);
  QObject::connect(port_.get(), &QSerialPort::readyRead, [this] { on_ready_read(); });
  QObject::connect(port_.get(), &QSerialPort::errorOccurred,
                   [this](QSerialPort::SerialPortError e) { on_error(static_cast<int>(e)); });
}

ComPort1::~ComPort1() {
  on_data = nullptr;
  on_lost = nullptr;
  if (port_->isOpen()) port_->close();
}

bool ComPort1::connected() const { return port_->isOpen(); }

void ComPort1::set_baud_rate(int baud) {
  baud_ = baud;
  if (port_->isOpen()) port_->setBaudRate(baud_);
}

void ComPort1::connect() {
  if (port_->isOpen()) return;
  lost_pending_ = false;
  port_->setPortName(QString::fromStdString(name_));
  port_->setBaudRate(baud_);
  port_->setDataBits(QSerialPort::Data7);
  // The TIC line carries even parity. Qt's unix backend clears INPCK and
  // PARMRK for every named parity, so the bit is received and not checked;
  // apply_line_settings() makes sure of it on the descriptor itself.
  port_->setParity(QSerialPort::EvenParity);
  port_->setStopBits(QSerialPort::OneStop);
  port_->setFlowControl(QSerialPort::NoFlowControl);
  port_->setReadBufferSize(kReadBufferSize);
  if (!port_->open(QIODevice::ReadWrite)) {
    const std::string why = port_->errorString().toStdString();
    port_->clearError();
    throw VireluzError(utf8_to_cp1252("Impossible d'ouvrir le port série " + name_ + " : " + why));
  }
  // Modem lines are not there on every device (a pseudo-terminal has none):
  // a refusal here is harmless and is cleared.
  port_->setDataTerminalReady(false);
  port_->setRequestToSend(false);
  port_->clearError();
  apply_line_settings();
}

void ComPort1::apply_line_settings() {
  const int fd = static_cast<int>(port_->handle());
  termios tio{};
  if (fd < 0 || tcgetattr(fd, &tio) != 0) return;
  const termios before = tio;
  tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK | ISTRIP | IXON | IXOFF | IXANY);
  tio.c_iflag |= IGNPAR;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARODD | CRTSCTS);
  tio.c_cflag |= CS7 | PARENB | CLOCAL | CREAD;
  if (tio.c_iflag != before.c_iflag || tio.c_cflag != before.c_cflag) tcsetattr(fd, TCSANOW, &tio);
}

void ComPort1::disconnect() {
  lost_pending_ = false;
  if (port_->isOpen()) port_->close();
}

void ComPort1::on_ready_read() {
  if (!port_->isOpen() || lost_pending_) return;
  while (port_->bytesAvailable() > 0) {
    block_.resize(kReadBufferSize);
    const qint64 n = port_->read(block_.data(), kReadBufferSize);
    if (n <= 0) break;
    block_.resize(static_cast<std::size_t>(n));
    if (on_data) on_data(block_);
    if (!port_->isOpen()) return;  // the handler disconnected
  }
}

void ComPort1::on_error(int error) {
  if (!port_->isOpen() || lost_pending_) return;
  const auto e = static_cast<QSerialPort::SerialPortError>(error);
  // A device that went away shows as a resource error (EIO, ENODEV) or as a
  // read error (end of file). Neither recovers: the descriptor is dead.
  if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError && e != QSerialPort::DeviceNotFoundError)
    return;
  lost_pending_ = true;
  const std::string reason = port_->errorString().toStdString();
  // Closing from inside QSerialPort's own notification is not safe: close on
  // the next turn of the event loop. Until then nothing more is read.
  QMetaObject::invokeMethod(
      port_.get(), [this, reason] { lose(reason); }, Qt::QueuedConnection);
}

void ComPort1::lose(const std::string& reason) {
  if (!lost_pending_) return;  // disconnected (or reconnected) in the meantime
  lost_pending_ = false;
  port_->close();
  port_->clearError();
  if (on_lost) on_lost(reason);
}

}  // namespace vireluz
