// Event is one scheduled completion: the group Action completes at Time,
// having been scheduled (sampled) at StartTime. A plain value; the action is
// not owned. HeapIndex belongs to the event list: the heap slot holding the
// event while it is scheduled. Kept in the event, a heap move writes it
// through the slot's own pointer, with no load on the way (in a model of
// thousands of groups, reaching the group's record instead is a cache miss
// per move). A list kept in a calendar uses HeapIndex and Next as the
// calendar's.
#ifndef EVENT_H
#define EVENT_H

class BaseActionClass;

class Event {
 public:
  Event() : Time(-1.0), StartTime(0), Action(nullptr), HeapIndex(-1), Next(-1) {}
  Event(double time, double startTime, BaseActionClass* action)
      : Time(time), StartTime(startTime), Action(action), HeapIndex(-1), Next(-1) {}

  double Time;
  double StartTime;
  BaseActionClass* Action;
  int HeapIndex;
  int Next;  // a calendar's link (see EventCalendar); in the padding
};

#endif
