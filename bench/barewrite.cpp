// The toolkit's floor for lumaveractl color: a bare Qt Core program that
// opens the port as lumaveractl does and writes the same five bytes.
//   lumavera-bench-barewrite DEVICE

#include <QCoreApplication>
#include <QSerialPort>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(QSerialPort::Baud9600);
    if (!port.open(QIODevice::ReadWrite))
        return 3;
    port.write("\xFF\x01\x01\x02\x03", 5);
    return port.waitForBytesWritten(1000) ? 0 : 1;
}
