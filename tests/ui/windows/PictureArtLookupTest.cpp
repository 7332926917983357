#include "ui/windows/PictureArtLookup.h"

#include "core/WindowMessage.h"

#include "tests/support/MessageRecorder.h"
#include "tests/ui/support/ImageSearchServer.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace std::chrono;
using testing_support::PumpUntil;
using ui_testing::ImageSearchServer;
using ui_testing::PictureBytes;
using ui_testing::PngClaiming;

namespace
{

constexpr int kDone = WM_USER + 1;

// The lookups' owner: takes every result it is told of.
class Owner : public testing_support::MessageRecorder
{
public:
    CPictureArtLookup* lookup = nullptr;
    std::vector<CPictureArtLookup::Result> results;

    bool event(QEvent* event) override
    {
        const bool handled = MessageRecorder::event(event);
        if (AsWindowMessage(event) && lookup)
            for (CPictureArtLookup::Result& result : lookup->TakeResults())
                results.push_back(std::move(result));
        return handled;
    }
};

class PictureArtLookupTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }
};

TEST_F(PictureArtLookupTest, PageRuleTakesTheFirstPictureLinkedAfterTheResultsMarker)
{
    EXPECT_EQ(CPictureArtLookup::FindPictureUrl("<div id=ires><a target=_blank><img src=http://a/b.png width=10>"),
        "http://a/b.png");
    EXPECT_EQ(CPictureArtLookup::FindPictureUrl("target=_blank><img src=http://early width=1 id=ires "
                                                "target=_blank><img src=http://late/x.jpg width=2"),
        "http://late/x.jpg")
        << "a picture before the results is no result";
    EXPECT_EQ(CPictureArtLookup::FindPictureUrl("target=_blank><img src=http://a/b.png width=10"), "");
    EXPECT_EQ(CPictureArtLookup::FindPictureUrl("id=ires target=_blank><img src=http://a/b.png height=10"), "");
    EXPECT_EQ(CPictureArtLookup::FindPictureUrl("id=ires <img src=http://a/b.png width=10"), "");
    EXPECT_EQ(
        CPictureArtLookup::FindPictureUrl(QByteArray("id=ires\0 target=_blank><img src=http://a/b.png width=10", 55)),
        "")
        << "the page ends at its first zero byte";
    EXPECT_EQ(CPictureArtLookup::FindPictureUrl("id=ires target=_blank><img src=http://a/caf\xe9.png width=1"),
        QString::fromUtf8("http://a/café.png"))
        << "the page's bytes are Windows-1252";
    const QByteArray longUrl = "http://a/" + QByteArray(3000, 'x');
    EXPECT_EQ(CPictureArtLookup::FindPictureUrl("id=ires target=_blank><img src=" + longUrl + " width=1").size(), 2000);
}

TEST_F(PictureArtLookupTest, SearchAddressEscapesTheTitleAsOnePathSegment)
{
    ImageSearchServer images;
    EXPECT_EQ(
        CPictureArtLookup::SearchPageUrl("a b/c?d&e=f#g"), images.server.Url("/images?q=a%20b%2Fc%3Fd%26e%3Df%23g"));
}

TEST_F(PictureArtLookupTest, DecodingTakesWebPicturesAndRefusesBrokenHugeAndForeignOnes)
{
    EXPECT_EQ(CPictureArtLookup::DecodePicture(PictureBytes(120, 90)).size(), QSize(120, 90));
    EXPECT_EQ(CPictureArtLookup::DecodePicture(PictureBytes(64, 48, Qt::red, "JPG")).size(), QSize(64, 48));
    EXPECT_EQ(CPictureArtLookup::DecodePicture(PictureBytes(4096, 1)).size(), QSize(4096, 1));

    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(CPictureArtLookup::DecodePicture(PngClaiming(20000, 20000)).isNull());
    EXPECT_TRUE(CPictureArtLookup::DecodePicture(PngClaiming(4097, 1)).isNull());
    EXPECT_LT(clock.elapsed(), 2000) << "a huge claim is refused before anything is decoded";

    EXPECT_TRUE(CPictureArtLookup::DecodePicture(PngClaiming(100, 100)).isNull()) << "broken data";
    EXPECT_TRUE(CPictureArtLookup::DecodePicture(PictureBytes(120, 90).left(60)).isNull()) << "cut short";
    EXPECT_TRUE(CPictureArtLookup::DecodePicture("<html>not found</html>").isNull());
    EXPECT_TRUE(CPictureArtLookup::DecodePicture(QByteArray()).isNull());
    EXPECT_TRUE(CPictureArtLookup::DecodePicture(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"><rect width=\"10\" height=\"10\"/></svg>")
                    .isNull())
        << "only raster pictures";
}

TEST_F(PictureArtLookupTest, TitlesAreLookedUpOneAtATimeWithTheGapAndANewerTitleReplacesAWaitingOne)
{
    ImageSearchServer images;
    Owner owner;
    CPictureArtLookup lookup(&owner, kDone);
    owner.lookup = &lookup;
    const uint64_t first = lookup.Request("first song");
    ASSERT_TRUE(PumpUntil([&] { return owner.results.size() == 1; }, 10000));
    lookup.Request("second song");
    const uint64_t third = lookup.Request("third song");
    ASSERT_TRUE(PumpUntil([&] { return owner.results.size() == 2; }, 20000));
    EXPECT_EQ(owner.received, std::vector<int>({ kDone, kDone }));

    const auto hits = images.Hits();
    ASSERT_EQ(hits.size(), 4u);
    EXPECT_EQ(hits[0].target, "/images?q=first%20song");
    EXPECT_EQ(hits[1].target, "/picture");
    EXPECT_EQ(hits[2].target, "/images?q=third%20song") << "the waiting title was replaced";
    EXPECT_EQ(hits[0].agent, "IE7");
    EXPECT_GE(duration_cast<milliseconds>(hits[2].time - hits[1].time).count(), 4000)
        << "the next lookup starts at least four seconds after the previous one ended";

    const auto& got = owner.results;
    EXPECT_EQ(got[0].ticket, first);
    EXPECT_EQ(got[0].title, "first song");
    EXPECT_EQ(got[0].searchUrl, images.server.Url("/images?q=first%20song"));
    EXPECT_EQ(got[0].picture.size(), QSize(120, 90));
    EXPECT_EQ(got[1].ticket, third);
}

TEST_F(PictureArtLookupTest, APictureIsFetchedOverHttpsFromAPublicAddressOnlyUnlessItIsOnTheImageHost)
{
    ImageSearchServer images;
    testing_support::LoopbackHttpServer local;
    local.RouteFixed("/picture", 200, "image/png", PictureBytes(64, 48));
    const QByteArray port = QByteArray::number(local.Port());
    images.server.RouteFixed("/moved", 302, "text/html", "", "Location: " + local.Url("/picture").toUtf8() + "\r\n");
    Owner owner;
    CPictureArtLookup lookup(&owner, kDone);
    lookup.SetMinimumGap(milliseconds(0));
    owner.lookup = &lookup;
    const QByteArray refused[] = { local.Url("/picture").toUtf8(), "https://localhost:" + port + "/picture",
        images.server.Url("/moved").toUtf8() };
    for (const QByteArray& url : refused) {
        images.SetPage(ImageSearchServer::PageLinking(url));
        lookup.Request(QString::fromLatin1(url));
        ASSERT_TRUE(PumpUntil([&] { return !owner.results.empty(); }, 20000)) << url.constData();
        EXPECT_TRUE(owner.results.back().picture.isNull()) << url.constData();
        owner.results.clear();
    }
    EXPECT_EQ(local.ConnectionCount(), 0);

    images.SetPage(ImageSearchServer::PageLinking(images.server.Url("/picture").toUtf8()));
    lookup.Request("own");
    ASSERT_TRUE(PumpUntil([&] { return !owner.results.empty(); }, 20000));
    EXPECT_EQ(owner.results.back().picture.size(), QSize(120, 90)) << "the image host's own pictures are trusted";
}

TEST_F(PictureArtLookupTest, ThePictureArrivesScaledToTheDisplayAtItsDensity)
{
    ImageSearchServer images;
    images.SetPicture(PictureBytes(4000, 2000, Qt::red));
    Owner owner;
    CPictureArtLookup lookup(&owner, kDone);
    lookup.SetMinimumGap(milliseconds(0));
    owner.lookup = &lookup;
    lookup.Request("wide", { QSize(1000, 800), 2.0 });
    // Decoding and scaling eight million pixels is slow in an instrumented build on a busy machine.
    ASSERT_TRUE(PumpUntil([&] { return owner.results.size() == 1; }, 30000));
    const QImage& wide = owner.results[0].picture;
    EXPECT_EQ(wide.size(), QSize(2000, 1000)) << "the screen's width in device pixels, keeping the shape";
    EXPECT_EQ(wide.devicePixelRatio(), 2.0);
    EXPECT_EQ(wide.pixelColor(1000, 500), QColor(Qt::red));

    // A picture smaller than the screen keeps its size in logical pixels.
    images.SetPicture(PictureBytes(120, 90));
    lookup.Request("small", { QSize(1000, 800), 1.5 });
    ASSERT_TRUE(PumpUntil([&] { return owner.results.size() == 2; }, 10000));
    EXPECT_EQ(owner.results[1].picture.size(), QSize(180, 135));
    EXPECT_EQ(owner.results[1].picture.deviceIndependentSize(), QSizeF(120, 90));
}

TEST_F(PictureArtLookupTest, StoppingCancelsAStalledTransferWithinASecondAndHandsNothingOver)
{
    ImageSearchServer images;
    images.StallPicture(60000);
    Owner owner;
    CPictureArtLookup lookup(&owner, kDone);
    lookup.Request("slow");
    ASSERT_TRUE(PumpUntil([&] { return images.HitCount() == 2; }, 10000));
    QElapsedTimer clock;
    clock.start();
    lookup.Stop();
    EXPECT_LT(clock.elapsed(), 1500);
    testing_support::PumpFor(200);
    EXPECT_TRUE(owner.received.empty());
    EXPECT_TRUE(lookup.TakeResults().empty());
    EXPECT_EQ(lookup.Request("later"), 0u) << "a stopped lookup takes no more titles";
}

} // namespace
