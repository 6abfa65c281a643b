#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

// The start-up texts (the news line and the notice) are fetched by one small
// component: an answer shows, anything else stays silent and never blocks.
class TstRemoteText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void answerArrives();
    void failuresStaySilent_data();
    void failuresStaySilent();
    void unansweredRequestIsGivenUp();

private:
    // A RemoteText fetching url; created complete, so the request is sent.
    std::unique_ptr<QObject> fetch(const QUrl &url)
    {
        QQmlComponent component(m_engine.get(), QUrl(QStringLiteral("qrc:/qml_model/RemoteText.qml")));
        QObject *object = component.beginCreate(m_engine->rootContext());
        if (!object) {
            qWarning() << component.errors();
            return nullptr;
        }
        object->setProperty("source", url.toString());
        component.completeCreate();
        return std::unique_ptr<QObject>(object);
    }
    // Answers every request with response (nothing when it is empty).
    void serve(const QByteArray &response)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this, response] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, response] {
                socket->readAll();
                if (!response.isEmpty()) {
                    socket->write(response);
                    socket->disconnectFromHost();
                }
            });
        });
    }
    QUrl address() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/notice").arg(m_server.serverPort())); }

    std::unique_ptr<QQmlEngine> m_engine;
    QTcpServer m_server;
};

void TstRemoteText::init()
{
    m_engine = std::make_unique<QQmlEngine>();
    QVERIFY(m_server.listen(QHostAddress::LocalHost));
}

void TstRemoteText::cleanup()
{
    m_engine.reset();
    m_server.close();
    m_server.disconnect(this);
}

void TstRemoteText::answerArrives()
{
    const QByteArray body = "<b>New resin</b>";
    serve("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size())
          + "\r\n\r\n" + body);
    auto text = fetch(address());
    QVERIFY(text);
    QSignalSpy received(text.get(), SIGNAL(received(QString)));
    QVERIFY2(received.wait(5000), "the answer arrives");
    QCOMPARE(received.first().first().toString(), QString::fromLatin1(body));
}

void TstRemoteText::failuresStaySilent_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("refused");
    QTest::newRow("not found") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!") << false;
    QTest::newRow("empty text") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n \n") << false;
    QTest::newRow("nobody listening") << QByteArray() << true;
}

void TstRemoteText::failuresStaySilent()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, refused);
    serve(response);
    const QUrl url = address();
    if (refused)
        m_server.close();
    auto text = fetch(url);
    QVERIFY(text);
    QSignalSpy received(text.get(), SIGNAL(received(QString)));
    QTRY_VERIFY2(text->property("request").isNull(), "the request ends");
    QCOMPARE(received.count(), 0);
}

void TstRemoteText::unansweredRequestIsGivenUp()
{
    serve(QByteArray());
    QElapsedTimer clock;
    clock.start();
    auto text = fetch(address());
    QVERIFY(text);
    QVERIFY2(clock.elapsed() < 1000, "fetching does not wait for the answer");
    QSignalSpy received(text.get(), SIGNAL(received(QString)));
    QTRY_VERIFY_WITH_TIMEOUT(text->property("request").isNull(), 10000);
    QCOMPARE(received.count(), 0);
}

QTEST_MAIN(TstRemoteText)
#include "tst_remotetext.moc"
