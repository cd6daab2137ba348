#pragma once

class CDocTemplate;
class CVornApp;

// The three window kinds, each a document class, a child frame class and a first view
// class. Made once at start-up, in the order history by days, history by months, real time.
CDocTemplate* makeHistoryByDaysKind(CVornApp& app);
CDocTemplate* makeHistoryByMonthsKind(CVornApp& app);
CDocTemplate* makeRealTimeKind(CVornApp& app);
