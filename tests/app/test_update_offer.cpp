// Whether UPDATE is offered, from its facts alone: the answer, the reason
// the tooltip gives when it is not, the picture, and what a failed run and
// a press leave behind.
#include <gtest/gtest.h>

#include "update_offer.h"

namespace {

using vireon::app::UpdateOffer;
using Picture = UpdateOffer::Picture;

struct Facts {
    bool present, file, running;
};

UpdateOffer with(const Facts &facts)
{
    UpdateOffer offer;
    offer.setSurfacePresent(facts.present);
    offer.setFileChosen(facts.file);
    offer.setRunning(facts.running);
    return offer;
}

TEST(UpdateOffer, EachCombinationOfFactsGivesItsOfferReasonAndPicture)
{
    struct Row {
        Facts facts;
        const char *whyNot; // empty: offered
        Picture picture;
    } const rows[] = {
        {{false, false, false}, "no surface connected, no file chosen", Picture::Faded},
        {{true, false, false}, "no file chosen", Picture::Faded},
        {{false, true, false}, "no surface connected", Picture::Faded},
        {{true, true, false}, "", Picture::Up},
        {{false, false, true}, "an update is running", Picture::Up},
        {{true, false, true}, "an update is running", Picture::Up},
        {{false, true, true}, "an update is running", Picture::Up},
        {{true, true, true}, "an update is running", Picture::Up},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "present " << row.facts.present << ", file " << row.facts.file
                                        << ", running " << row.facts.running);
        const UpdateOffer offer = with(row.facts);
        const QString why = QString::fromUtf8(row.whyNot);
        EXPECT_EQ(offer.offered(), why.isEmpty());
        EXPECT_EQ(offer.whyNot(), why);
        EXPECT_EQ(offer.toolTip(), "Program the chosen firmware file into the surface." +
                                       (why.isEmpty() ? QString() : "\nNot offered now: " + why + "."));
        EXPECT_EQ(offer.picture(), row.picture);
    }
}

TEST(UpdateOffer, APressShowsWhileOfferedAndEndsWhenTheOfferGoes)
{
    UpdateOffer offer = with({true, true, false});
    offer.setPressed(true);
    EXPECT_EQ(offer.picture(), Picture::Down);
    offer.setSurfacePresent(false);
    EXPECT_FALSE(offer.pressed());
    offer.setSurfacePresent(true);
    EXPECT_EQ(offer.picture(), Picture::Up); // not held down any more

    offer.setFileChosen(false);
    offer.setPressed(true); // a press on UPDATE not offered is none
    EXPECT_FALSE(offer.pressed());
}

// A failed run shows its picture through its end and after it, until the
// next news; a new run starts without it.
TEST(UpdateOffer, AFailedRunShowsItsPictureUntilTheNextFactChanges)
{
    UpdateOffer offer = with({true, false, true});
    offer.setRunFailed();
    EXPECT_EQ(offer.picture(), Picture::Failed);
    offer.setSurfacePresent(false); // during the run: still its failure
    EXPECT_EQ(offer.picture(), Picture::Failed);
    offer.setRunning(false);
    EXPECT_EQ(offer.picture(), Picture::Failed);
    offer.setSurfacePresent(true);
    EXPECT_EQ(offer.picture(), Picture::Faded);

    offer.setRunning(true);
    offer.setRunFailed();
    offer.setRunning(false);
    offer.setRunning(true);
    EXPECT_EQ(offer.picture(), Picture::Up);

    UpdateOffer idle = with({true, true, false});
    idle.setRunFailed(); // no run, no failure
    EXPECT_EQ(idle.picture(), Picture::Up);
}

TEST(UpdateOffer, ARunThatFailsWithTheFileStillChosenOffersUpdateAgainAtItsEnd)
{
    UpdateOffer offer = with({true, true, true});
    offer.setRunFailed();
    offer.setRunning(false);
    EXPECT_TRUE(offer.offered());
    EXPECT_EQ(offer.picture(), Picture::Up);
}

} // namespace
